#pragma once

// Reading and writing one value of an INI file the way the Windows private profile functions do:
// a line that does not fit is skipped, never a reason to read nothing.
//
// The file is read as lines (LF or CR LF; a UTF-8 byte-order mark at the start is ignored):
//  - "[name]": a section header; the name runs to the last ']' and blanks (spaces, tabs) around
//    it are ignored. Lines before the first header belong to no section and are never found.
//  - a line whose first non-blank character is ';' is a comment;
//  - "key=value": a key of the current section, split at the first '='; blanks around the key
//    and the value are ignored, and one pair of matching double or single quotes around the
//    value is removed;
//  - any other line (blank, no '=') is skipped.
// Section and key names compare case-insensitively (ASCII only). The first matching key wins;
// when a section appears more than once, its copies are searched in file order, so a key in a
// later copy is still found.
//
// A write changes at most one line and keeps every other byte of the file: it replaces the value
// of the line a read would return; otherwise it adds "key=value" after the last non-blank line of
// the first matching section; otherwise it appends the section with the key at the end of the
// file. Added lines use the file's line end. The file is replaced atomically, and a file that
// exists but cannot be read is never replaced.

#include <filesystem>
#include <string>
#include <string_view>

enum class IniStatus {
  kFound,       // the key is present; its value is in `value`
  kNotFound,    // the file was read but holds no such key
  kMissing,     // there is no file at that path
  kUnreadable,  // the file exists but could not be read (permissions, I/O error, a folder)
};

struct IniLookup {
  IniStatus status = IniStatus::kMissing;
  std::string value;  // UTF-8, empty unless found

  bool Found() const { return status == IniStatus::kFound; }
};

// The value of `key` in `section` of the INI file at `file`.
IniLookup ReadIniString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key);

// Stores `value` under `key` in `section`, creating the file when it is missing. False when the
// file exists but cannot be read, when it cannot be written, or when the names or the value cannot
// be kept on one line (a line break, an empty key or '=' in it). A value that would not
// read back as written (blanks at either end, or enclosed in matching quotes) is written in
// double quotes.
bool WriteIniString(const std::filesystem::path& file, std::string_view section,
                    std::string_view key, std::string_view value);
