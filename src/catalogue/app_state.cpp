#include "catalogue/app_state.h"

AppState* AppState::s_instance = nullptr;

AppState* AppState::Instance() {
  if (s_instance == nullptr) {
    s_instance = new AppState();
  }
  return s_instance;
}

void AppState::Destroy() {
  if (s_instance == nullptr) {
    return;
  }
  s_instance->ClearAlbums();
  delete s_instance;
  s_instance = nullptr;
}

void AppState::ClearAlbums() {
  m_albums.clear();
}

std::vector<AlbumRecord*> AppState::CopyAlbums() const {
  std::vector<AlbumRecord*> copy;
  copy.reserve(m_albums.size());
  for (const auto& record : m_albums) {
    copy.push_back(record.get());
  }
  return copy;
}

const AlbumRecord* AppState::FindRecord(int32_t index) const {
  for (const auto& record : m_albums) {
    if (record->m_index == index) {
      return record.get();
    }
  }
  return nullptr;
}

std::string AppState::AlbumName(int32_t index) const {
  const AlbumRecord* record = FindRecord(index);
  return record != nullptr ? record->m_name : std::string();
}

bool AppState::AlbumHasPassword(int32_t index) const {
  const AlbumRecord* record = FindRecord(index);
  return record != nullptr && record->m_hasPassword != 0;
}
