#pragma once

// The main window: type a user number, list that user's albums, tick albums and download them
// one after another. It owns the download worker and the hidden login window, handles the user's
// commands (Notify) and the application messages of a download run (MessageHandler).
//
// A download run takes the rows in order; each step handles one row: it starts the worker, opens
// the login window for a password album, or skips the row by posting WM_ALBUM_DONE to itself. The
// download button's caption is the run's state. Every run has a number that its messages carry;
// a stop, a new album list and the end of the program end the run and change the number, so that
// nothing a stopped worker or a given-up login window sends late acts on a later run. Each ticked
// album's outcome shows in its row's remark, and the run's end says how many were completed.
// Each album keeps the folder the download archive gives it, whatever the order or the names of the
// albums in the list.

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "catalogue/album_list_fetch.h"
#include "download/album_thread.h"
#include "ui/album_list_item.h"
#include "ui/dialog_wnd.h"
#include "ui/login_window.h"
#include "uilib/ui_list.h"

constexpr const wchar_t* kCaptionDownload = L"下载相册";
constexpr const wchar_t* kCaptionStop = L"停止下载";
constexpr const wchar_t* kNoticeCaption = L"提示";
constexpr const wchar_t* kLoginPrompt = L"请登录Zu空间";
constexpr const wchar_t* kCaptionFetching = L"获取中…";
constexpr const wchar_t* kNoticeNothingTicked = L"请先勾选要下载的相册。";
constexpr const wchar_t* kNoticeNoWebBrowser = L"无法打开网页，请在浏览器中打开：";
// The progress cell of a row that no run has reached (as the row's layout starts it).
constexpr const wchar_t* kNoProgress = L"-";

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
  // What "btn_get" does: the typed user number's album list is read on a helper thread.
  void GetAlbumList();
  bool ValidateUin(const std::wstring& text);
  void TickAllAlbums(bool selected);
  void TickPasswordAlbums(bool selected);
  // How many rows are ticked.
  int TickedRows() const;
  // 全选 shows ticked exactly when every row is; 选中加密相册 when every password album is, and it
  // is disabled when the list has none.
  void SyncTickOptions();
  // The download run.
  void StartNextAlbum();
  void ResumePasswordAlbum(uint32_t ticket);
  void UpdateAlbumProgress(int32_t row, int32_t saved);
  void ShowLoginForAlbumList();
  // The album list is read off the UI thread; the window stays live meanwhile, "btn_get" says it
  // is busy and takes no click for the same number, and no run starts. `reload`: after signing in.
  void StartAlbumListFetch(bool reload);
  bool FetchInProgress() const { return m_fetch != nullptr; }
  // Abandons the read in progress, if any: its transfers stop and its thread is joined.
  void AbandonAlbumListFetch();
  // Ends the run in progress, if any: no further step, the worker and its transfer stop, a pending
  // password login is given up, and the album in progress is marked stopped.
  void EndRun();
  // The one way out of the program, whatever asked for it: ends the run, abandons every transfer,
  // waits (bounded) for the worker, closes the login window and lets the settings go. The window
  // itself is left to the caller.
  void PrepareForExit();

  // The login window; null when it could not be made, and after PrepareForExit.
  CDuRavuvLogin* LoginWindow() const { return m_loginWnd; }
  CListUI* AlbumList() const { return m_albumList; }
  CAlbumThread& Worker() { return m_worker; }
  // The number of the latest run; it changes when a run ends early.
  uint32_t RunNumber() const { return m_runId; }
  // Where photo lists are downloaded to (ends with '/'); the settings' working folder by default.
  void SetWorkFolder(const std::wstring& folder) { m_workFolder = folder; }

 private:
  void ShowNotice(const std::wstring& text);
  void ShowNotice(const wchar_t* scrambled);
  CAlbumListItemUI* Row(int32_t index) const;
  bool RunInProgress() const;
  // The hint beside the user number field that the number typed was refused.
  void ShowUinHint(bool shown);
  // At the start of a run, every ticked row's progress and remark are cleared.
  void ClearTickedRows();
  // The album of row `current` ended with `outcome`: its remark and the run's counts.
  void RecordOutcome(int32_t row, AlbumOutcome outcome, int32_t failed);
  void SetRemark(int32_t row, const std::wstring& text);
  void PostAlbumDone(AlbumOutcome outcome);
  // The current row's album record; null when there is none.
  const AlbumRecord* CurrentAlbum() const;

  // An album-list read on its helper thread.
  struct AlbumListFetch {
    ~AlbumListFetch() {
      running = 0;  // its transfers end within a few milliseconds
      if (thread.joinable()) {
        thread.join();
      }
    }
    std::thread thread;
    std::atomic<uint8_t> running{1};
    AlbumListResult result;  // written by the thread; read after it is joined
    bool reload = false;
  };
  void OnAlbumListFetched(uint32_t number, int32_t uin);

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
  CControlUI* m_lblUinHint = nullptr;
  COptionUI* m_optSelectAll = nullptr;
  COptionUI* m_optSelectPwdAlbum = nullptr;
  CDuRavuvLogin* m_loginWnd = nullptr;
  CAlbumThread m_worker;
  std::wstring m_workFolder;
  std::wstring m_pendingCachePattern;
  uint32_t m_runId = 0;  // the number of the latest run; changes when a run ends early

  std::unique_ptr<AlbumListFetch> m_fetch;  // the read in progress, if any
  uint32_t m_fetchNumber = 0;               // numbers the reads
  int32_t m_listUin = 0;                    // whose albums the rows are; 0: no list
  std::wstring m_btnGetCaption;             // "btn_get"'s caption while it is not busy
  bool m_albumInProgress = false;  // the current row's album is being downloaded or logged into
  uint32_t m_loginTickets = 0;     // numbers the login window's openings
  uint32_t m_passwordTicket = 0;   // the opening for the current password album; 0: none
  uint32_t m_signInTicket = 0;     // the opening for signing in; 0: none
  int32_t m_runCompleted = 0;      // ticked albums of this run completed
  int32_t m_runNotCompleted = 0;   // ticked albums of this run not completed
};

// The remark a row shows for an album that ended with `outcome` (empty for a skipped row).
std::wstring OutcomeRemark(AlbumOutcome outcome, int32_t failed);

// Ends the main window `hwnd` at the end of the program, if it is still there: PrepareForExit,
// then the main window is destroyed.
void ShutDownMainWindow(HWND hwnd);
