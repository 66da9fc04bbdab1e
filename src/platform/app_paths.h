#pragma once

// Where the program keeps its files.
//
// Run from its build folder (or any folder it may write), the program keeps everything beside its
// executable: config.ini, the working folder "Res", skin.dll (written back at the end) and
// service.ini. Installed where that folder is read-only, it keeps the settings in
// $XDG_CONFIG_HOME/zupictrove/, the working folder in $XDG_CACHE_HOME/zupictrove/work/, reads the
// skin file from the installed data folder (<prefix>/share/zupictrove) and never writes it back.
// service.ini is looked for beside the executable, in $XDG_CONFIG_HOME/zupictrove/, in
// /etc/zupictrove/ and in the installed data folder, in that order.

#include <filesystem>
#include <vector>

// $XDG_CONFIG_HOME/zupictrove (~/.config/zupictrove when unset or not absolute).
std::filesystem::path UserConfigFolder();
// $XDG_CACHE_HOME/zupictrove (~/.cache/zupictrove likewise).
std::filesystem::path UserCacheFolder();
// The installed data folder: <executable folder>/../share/zupictrove.
std::filesystem::path InstalledDataFolder();
// Whether the program may write beside its executable.
bool ExecutableFolderWritable();

// config.ini: beside the executable, or in the user's config folder (made when needed).
std::filesystem::path SettingsFile();
// The working folder for downloaded lists, with a trailing '/': "Res" beside the executable, or
// the user's cache folder's "work".
std::filesystem::path WorkFolder();
// Makes the working folder (and what leads to it) when it is missing, before a list is written
// into it; the user may remove it while the program runs. Part files of list downloads that a
// killed copy of the program left there, older than any list download lasts, go.
void EnsureWorkFolder(const std::filesystem::path& folder);
// What this process adds to the names of the list files it writes into the working folder, which
// copies of the program share: "-p<process id>", so that one never reads or deletes another's.
std::wstring OwnListSuffix();
// skin.dll: beside the executable when it is there, else in the installed data folder.
std::filesystem::path SkinFile();
// The service.ini files to look at, in order.
std::vector<std::filesystem::path> ServiceConfigCandidates();
