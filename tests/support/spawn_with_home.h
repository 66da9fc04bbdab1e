#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

// Starts `program` with `arguments` and the environment of this process, except that HOME is
// `home` and XDG_CACHE_HOME is `home`/.cache, so that the program's files stay in a test's
// folder. Returns the pid, or -1.
pid_t SpawnWithHome(const std::string& program, const std::vector<std::string>& arguments,
                    const std::filesystem::path& home);
