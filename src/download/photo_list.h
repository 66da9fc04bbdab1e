#pragma once

// An album's photo list, in its two forms, read into PhotoEntry values one at a time.
//
// The XML form is the photo-list document: the root's "pic" children, each with "name" and
// "origin_url" children. The text form is an album page the embedded browser fetched: after the
// first "pic" (with its quotes), every "name" key gives a name and the next origin_url key after
// it an address, each value running from `: "` to the first `",`; nothing is unescaped. Both
// readers look at the worker's run flag before each entry. Values longer than
// kPhotoValueMaxBytes are cut to that length without splitting a character.

#include <tinyxml.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

constexpr size_t kPhotoValueMaxBytes = 511;

struct PhotoEntry {
  std::string name;       // in the process code page, 1 to 511 bytes
  std::string originUrl;  // 1 to 511 bytes
};

using PhotoSink = std::function<void(const PhotoEntry&)>;

// Loads the photo-list document (a narrow path in the process code page). False when it cannot
// be loaded.
bool LoadPhotoListDocument(const std::string& ansiPath, TiXmlDocument& doc);

// Hands `sink` each photo of a loaded document, in order, while `running` is 1.
void ReadPhotoListDocument(const TiXmlDocument& doc, const std::atomic<uint8_t>& running,
                           const PhotoSink& sink);

// Hands `sink` each photo the page text lists, in order, while `running` is 1.
void ScanCachedAlbumPage(std::string_view text, const std::atomic<uint8_t>& running,
                         const PhotoSink& sink);
