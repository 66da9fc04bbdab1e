// skinpack: makes the skin file from a folder of layouts and images, and unpacks one.
//
//   skinpack pack DIR OUT       zips DIR and writes the skin file OUT
//   skinpack unpack IN OUT.zip  decodes the skin file IN with the program's own decoder

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/code_page.h"
#include "platform/file_read.h"
#include "platform/file_write.h"
#include "skin/skin_archive.h"
#include "skin_encoder.h"

namespace {

int Usage() {
  std::fputs("usage: skinpack pack DIR OUT\n       skinpack unpack IN OUT.zip\n", stderr);
  return 2;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "skinpack: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    return Usage();
  }
  const std::string command = argv[1];
  const std::filesystem::path in = argv[2];
  const std::filesystem::path out = argv[3];
  if (command == "pack") {
    std::string error;
    const std::optional<std::string> zip = ZipFolder(in, &error);
    if (!zip) {
      return Fail(error);
    }
    if (zip->size() > static_cast<size_t>(kSkinMaxDecodedBytes)) {
      return Fail("the archive is larger than a skin file may hold");
    }
    return WriteFileAtomically(out, EncodeSkinFile(*zip)) ? 0
                                                          : Fail("cannot write " + out.string());
  }
  if (command == "unpack") {
    const std::optional<std::string> file = ReadWholeFile(Utf8ToWide(in.string()));
    if (!file) {
      return Fail("cannot read " + in.string());
    }
    int32_t length = 0;
    const std::optional<std::vector<uint8_t>> archive = DecodeSkinArchive(*file, &length);
    if (!archive) {
      return Fail("not a skin file: " + in.string());
    }
    const std::string bytes(archive->begin(), archive->end());
    return WriteFileAtomically(out, bytes) ? 0 : Fail("cannot write " + out.string());
  }
  return Usage();
}
