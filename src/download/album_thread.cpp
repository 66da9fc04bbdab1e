#include "download/album_thread.h"

#include <filesystem>
#include <system_error>

#include "catalogue/app_messages.h"
#include "catalogue/app_state.h"
#include "catalogue/file_read.h"
#include "download/download_settings.h"
#include "platform/file_path.h"
#include "platform/posted_messages.h"
#include "platform/url_download.h"

namespace {

std::wstring TrimSpaces(std::wstring text) {
  const size_t first = text.find_first_not_of(L' ');
  if (first == std::wstring::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

std::wstring AtMost(std::wstring text, size_t units) {
  if (text.size() > units) {
    text.resize(units);
  }
  return text;
}

}  // namespace

void CAlbumThread::Run() {
  if (m_fromWebCache == 0) {
    DownloadListedAlbum();
  } else {
    DownloadCachedAlbum();
  }
}

void CAlbumThread::PostAlbumDone() {
  PostMessage(m_notifyWnd, WM_ALBUM_DONE, m_runId, 0);
}

std::wstring CAlbumThread::PrepareFolder() {
  const std::wstring root = DownloadSettings::Instance()->GetDownloadRoot();
  return PrepareAlbumFolder(root, AppState::Instance()->m_uin, m_albumFolderName, &m_pathMemo);
}

void CAlbumThread::DownloadListedAlbum() {
  m_running = 1;
  int32_t saved = 0;
  const int32_t row = AppState::Instance()->m_currentAlbum;
  const std::string listFile(m_listFile.data());

  TiXmlDocument doc;
  const bool loaded = LoadPhotoListDocument(listFile, doc);
  std::error_code ec;
  std::filesystem::remove(FsPathFromAnsi(listFile), ec);
  if (!loaded) {
    PostAlbumDone();
    return;
  }
  const std::wstring folder = PrepareFolder();
  ReadPhotoListDocument(
      doc, m_running, [&](const PhotoEntry& entry) { DownloadPhoto(entry, folder, row, &saved); });
  if (m_running == 1) {
    PostAlbumDone();
  }
}

void CAlbumThread::DownloadCachedAlbum() {
  m_running = 1;
  int32_t saved = 0;
  const std::string listFile(m_listFile.data());
  if (listFile.empty()) {
    PostAlbumDone();
    return;
  }
  const std::optional<std::string> text = ReadTextFile(AnsiToWide(listFile));
  if (!text) {
    PostAlbumDone();
    return;
  }
  const int32_t row = AppState::Instance()->m_currentAlbum;
  const std::wstring folder = PrepareFolder();
  ScanCachedAlbumPage(*text, m_running,
                      [&](const PhotoEntry& entry) { DownloadPhoto(entry, folder, row, &saved); });
  PostAlbumDone();  // also after a stop: the web cache form always reports its end
}

void CAlbumThread::DownloadPhoto(const PhotoEntry& entry, const std::wstring& albumFolder,
                                 int32_t row, int32_t* saved) {
  const std::wstring name = AtMost(AnsiToWide(entry.name), kNameMaxUnits);
  const std::wstring address = AtMost(AnsiToWide(entry.originUrl), kPhotoAddressMaxUnits);
  const std::wstring fileName = TrimSpaces(CleanFileName(name));
  const std::wstring path = MakePhotoPath(albumFolder, fileName, &m_pathMemo);
  if (DownloadUrlToFile(TrimSpaces(address), path) == S_OK) {
    ++*saved;
    PostMessage(m_notifyWnd, WM_PHOTO_SAVED, static_cast<WPARAM>(row), *saved);
  }
}
