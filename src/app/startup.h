#pragma once

// Start and end of the program: read and decode the skin file beside the executable, show the
// main window, run the message loop, then stop the worker, write the skin file back with its
// marker byte and free the shared state.

#include <string>

// Runs the program with the UI back end already set. Exit codes: 0 for a normal end and for a
// missing or undecodable skin file (then without any window), -1 when the main window cannot be
// made.
int RunApplication(const std::wstring& exeFolder);
