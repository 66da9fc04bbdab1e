#pragma once

#include <string>

// The notices the main window shows in a message box (caption "提示", an OK button), stored
// scrambled with kScrambleSeed. Show them with UnscrambleText(kNotice..., kScrambleSeed).

// The download button was clicked while the album list has no rows.
extern const wchar_t kNoticeEmptyList[];
// Every row of a download run has been processed. Its two "%d" take the numbers of ticked albums
// that were completed and that were not (FormatCounts).
extern const wchar_t kNoticeRunFinished[];
// Reading the album list again after the login window closed failed.
extern const wchar_t kNoticeReloadFailed[];
// None of the album-list servers answered (no connection, a timeout, or a server error).
extern const wchar_t kNoticeUnreachable[];

// `text` with its first "%d" replaced by `first` and its second by `second`.
std::wstring FormatCounts(std::wstring text, int first, int second);
