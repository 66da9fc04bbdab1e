// scramble: turns a notice text into the hex form the program stores, and back.
//
//   scramble [--seed N] encode TEXT   prints the stored form of TEXT (its bytes as given)
//   scramble [--seed N] decode HEX    prints the text a stored form holds
//
// N is decimal, or hex with 0x; the default is the seed of the program's notices.

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/code_page.h"
#include "skin/scrambled_text.h"

namespace {

int Usage() {
  std::fputs("usage: scramble [--seed N] encode TEXT\n       scramble [--seed N] decode HEX\n",
             stderr);
  return 2;
}

bool ParseSeed(const char* text, uint32_t* seed) {
  char* end = nullptr;
  errno = 0;
  const unsigned long value = std::strtoul(text, &end, 0);
  if (end == text || *end != '\0' || errno != 0 || value > 0xFFFFFFFFul || text[0] == '-') {
    return false;
  }
  *seed = static_cast<uint32_t>(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  uint32_t seed = kScrambleSeed;
  int arg = 1;
  if (arg < argc && std::string(argv[arg]) == "--seed") {
    if (arg + 1 >= argc || !ParseSeed(argv[arg + 1], &seed)) {
      return Usage();
    }
    arg += 2;
  }
  if (argc - arg != 2) {
    return Usage();
  }
  const std::string command = argv[arg];
  const std::string input = argv[arg + 1];
  if (command == "encode") {
    std::printf("%s\n", ScrambleText(input, seed).c_str());
    return 0;
  }
  if (command == "decode") {
    std::printf("%s\n", WideToAnsi(UnscrambleText(AnsiToWide(input), seed)).c_str());
    return 0;
  }
  return Usage();
}
