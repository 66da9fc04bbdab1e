#include "support/spawn_with_home.h"

#include <spawn.h>

extern char** environ;

pid_t SpawnWithHome(const std::string& program, const std::vector<std::string>& arguments,
                    const std::filesystem::path& home) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (!entry.starts_with("HOME=") && !entry.starts_with("XDG_CACHE_HOME=")) {
      env.push_back(entry);
    }
  }
  env.push_back("HOME=" + home.string());
  env.push_back("XDG_CACHE_HOME=" + (home / ".cache").string());
  std::vector<char*> envp;
  for (std::string& entry : env) {
    envp.push_back(entry.data());
  }
  envp.push_back(nullptr);
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) {
    return -1;
  }
  return pid;
}
