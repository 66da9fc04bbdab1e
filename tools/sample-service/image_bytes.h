#pragma once

// The bytes of a photo: its picture (see picture.h) when the picture fits in the photo's size,
// then a fixed pattern up to that size. The same address always gives the same bytes, so that a
// client can resume a download with a range.

#include <string>

// The picture a photo of `size` bytes at `path` starts with; empty when it does not fit.
const std::string& PictureOfImage(const std::string& path, size_t size);

// One block of the pattern; byte `i` of a photo past its picture is block[i % block.size()].
const std::string& PatternBlock();

// `length` bytes from `offset` of the photo that starts with `picture`.
std::string ImagePiece(const std::string& picture, size_t offset, size_t length);
