#pragma once

// The process-wide state through which the parts of the program share what they know about the
// listed user and the download in progress.
//
// Created on first use by AppState::Instance (on the UI thread, before any worker exists) and
// destroyed once at exit by AppState::Destroy. Only the UI thread writes it. The one download
// worker reads m_uin and m_currentAlbum when it starts; those two are atomics so that a read on
// the worker never races with a write on the UI thread, while callers still read and write them
// as plain numbers.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One usable album of an album-list document.
struct AlbumRecord {
  int32_t m_index = 0;        // 0-based among the accepted albums of one document; also the row
  std::string m_albumId;      // the document's "id" text, never empty
  std::string m_name;         // the "name" text without leading and trailing blanks; may be empty
  int32_t m_photoCount = 0;   // the "total" text as a number; always greater than 0
  uint8_t m_hasPassword = 0;  // 1 when the album carried a non-empty "question" text
};

// Longest photo host label: a single lowercase host-name label.
constexpr size_t kPhotoHostLabelMaxChars = 31;

class AppState {
 public:
  // The one object, created with the initial values on the first call.
  static AppState* Instance();
  // Deletes the object and its albums; a later Instance creates a fresh one.
  static void Destroy();

  // Deletes every album record and empties the list; other fields stay as they are.
  void ClearAlbums();
  // The record pointers in list order; the records stay owned by the state.
  std::vector<AlbumRecord*> CopyAlbums() const;
  // m_name of the first record whose m_index is `index`; empty when there is none.
  std::string AlbumName(int32_t index) const;
  // m_hasPassword of the first record whose m_index is `index`; false when there is none.
  bool AlbumHasPassword(int32_t index) const;

  const uint8_t m_marker = 122;                        // written into the skin file at exit
  std::vector<std::unique_ptr<AlbumRecord>> m_albums;  // in document order
  // Why the login window was opened: 0 nothing pending, 1 album list reload, 2 password album.
  int32_t m_loginOutcome = 0;
  std::atomic<int32_t> m_currentAlbum{0};  // row of the album being downloaded
  std::atomic<int32_t> m_uin{0};           // user number whose albums are listed
  std::wstring m_photoHostLabel;           // label of the chosen album-list server's photo host

 private:
  AppState() = default;
  const AlbumRecord* FindRecord(int32_t index) const;

  static AppState* s_instance;
};
