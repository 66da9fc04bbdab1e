#pragma once

// Start and end of the program: read and decode the skin file beside the executable, show the
// main window, run the message loop, then stop the worker, write the skin file back with its
// marker byte and free the shared state.

#include <optional>
#include <string>
#include <vector>

#include "platform/win_types.h"

// What a started program keeps until it ends.
struct StartedApplication {
  std::wstring skinPath;
  bool writeSkinBack = true;     // false for the installed skin file
  std::string skinBytes;         // the file as it was read, written back at the end
  std::vector<uint8_t> archive;  // the decoded skin archive, read in place by the resources
  HWND mainWindow = nullptr;
};

enum class StartResult { kStarted, kNoSkin, kNoWindow };

// Reads the skin file, makes the skin's archive the resource source and shows the main window.
// kNoSkin: the skin file is missing or cannot be decoded (no window); kNoWindow: the main window
// cannot be made.
StartResult StartApplication(const std::wstring& exeFolder, StartedApplication* started);
// Ends the main window if it is still there (the worker is stopped first), writes the skin file
// back and frees the shared state.
void FinishApplication(StartedApplication* started);

// Runs the program with the UI back end already set. Exit codes: 0 for a normal end and for a
// missing or undecodable skin file (then without any window), -1 when the main window cannot be
// made.
int RunApplication(const std::wstring& exeFolder);
