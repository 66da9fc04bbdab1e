#pragma once

// The three notices the main window shows in a message box (caption "提示", an OK button), stored
// scrambled with kScrambleSeed. Show them with UnscrambleText(kNotice..., kScrambleSeed).

// The download button was clicked while the album list has no rows.
extern const wchar_t kNoticeEmptyList[];
// Every row of a download run has been processed.
extern const wchar_t kNoticeRunFinished[];
// Reading the album list again after the login window closed failed.
extern const wchar_t kNoticeReloadFailed[];
