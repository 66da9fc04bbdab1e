#pragma once

// The drives on which a default download root may be made.
//
// Linux has no drive letters: HomeDriveProvider offers the user's home folder as the one fixed
// drive, so the default download root is ~/ZeDiRazuz. Tests give other lists.

#include <string>
#include <vector>

class DriveProvider {
 public:
  virtual ~DriveProvider() = default;
  // Root texts in the system's order, each ending with a path separator.
  virtual std::vector<std::wstring> DriveRoots() const = 0;
  virtual bool IsFixedDrive(const std::wstring& root) const = 0;
  // Whether asking the drive for its free space succeeds (the figures are not needed).
  virtual bool QueryFreeSpace(const std::wstring& root) const = 0;
};

class HomeDriveProvider : public DriveProvider {
 public:
  std::vector<std::wstring> DriveRoots() const override;
  bool IsFixedDrive(const std::wstring& root) const override;
  bool QueryFreeSpace(const std::wstring& root) const override;
};
