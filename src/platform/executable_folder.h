#pragma once

#include <string>

// The folder of the running executable, with a trailing '/'.
std::wstring ExecutableFolder();
