#pragma once

// The main window: type a user number, list that user's albums, tick albums and download them
// one after another. It owns the download worker and the hidden login window, handles the user's
// commands (Notify) and the application messages of a download run (MessageHandler).
//
// A download run takes the rows in order; each step handles one row: it starts the worker, opens
// the login window for a password album, or skips the row by posting WM_ALBUM_DONE to itself. The
// download button's caption is the run's state. Every run has a number, carried in the wParam of
// its WM_ALBUM_DONE messages, so that the late end of a stopped run never moves a later one on.

#include <string>

#include "download/album_thread.h"
#include "ui/album_list_item.h"
#include "ui/dialog_wnd.h"
#include "ui/login_window.h"
#include "uilib/ui_list.h"

constexpr const wchar_t* kCaptionDownload = L"下载相册";
constexpr const wchar_t* kCaptionStop = L"停止下载";
constexpr const wchar_t* kNoticeCaption = L"提示";
constexpr const wchar_t* kLoginPrompt = L"请登录Zu空间";

class CZuPictrove : public CDialogWnd {
 public:
  std::wstring GetWindowClassName() const override;
  void InitWindow() override;
  void OnCloseCommand() override;
  LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  void Notify(TNotifyUI& msg) override;
  LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;

  // The album list view.
  void FillAlbumList();
  // Commands.
  bool ValidateUin(const std::wstring& text);
  void TickAllAlbums(bool selected);
  void TickPasswordAlbums(bool selected);
  // The download run.
  void StartNextAlbum();
  void StartPhotoListDownload(const std::wstring& url, const std::wstring& albumId);
  void ResumePasswordAlbum();
  void UpdateAlbumProgress(int32_t row, int32_t saved);
  void ShowLoginForAlbumList();
  // Stops the worker at the end of the program: transfers are abandoned (no file is left half
  // written) and the worker is waited for, at most m_waitTimeout.
  void StopWorkerForExit();

  CControlUI* m_btnMin = nullptr;
  CControlUI* m_btnClose = nullptr;
  CControlUI* m_btnGet = nullptr;
  CControlUI* m_btnDown = nullptr;
  CControlUI* m_btnAlbumAd = nullptr;
  CControlUI* m_btnKelAd = nullptr;
  CListUI* m_albumList = nullptr;
  CControlUI* m_btnBrowse = nullptr;
  CControlUI* m_editAlbumDir = nullptr;
  CControlUI* m_editUin = nullptr;
  COptionUI* m_optSelectAll = nullptr;
  COptionUI* m_optSelectPwdAlbum = nullptr;
  CDuRavuvLogin* m_loginWnd = nullptr;
  CAlbumThread m_worker;
  std::wstring m_workFolder;
  std::wstring m_pendingCachePattern;
  uint32_t m_runId = 0;  // the number of the latest run

 private:
  void ShowNotice(const wchar_t* scrambled);
  CAlbumListItemUI* Row(int32_t index) const;
};

// Ends the main window `hwnd` at the end of the program, if it is still there: the worker is
// stopped and waited for first, then the login window and the main window are destroyed.
void ShutDownMainWindow(HWND hwnd);

// The name of the local photo-list file of an album: the id itself when it is made of letters,
// digits, '_' and '-' only; otherwise every other byte as %XX, so that no id names a file outside
// the working folder.
std::wstring PhotoListFileName(const std::string& albumId);
// The album id as it goes into a request: percent-encoded only where it would break the address.
std::string AlbumIdForUrl(const std::string& albumId);
