#pragma once

// Small JPEG pictures for the photo answers, so that the demo's photos open in an image viewer:
// a landscape whose colours follow the photo's name.

#include <string>

// The JPEG bytes of the picture for `name` (made once per colour and kept); empty when it cannot
// be made.
const std::string& PictureFor(const std::string& name);
