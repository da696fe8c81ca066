// A fresh, empty folder per test for skyfault.cfg, removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "settings/config.h"

#ifdef _WIN32
#include <process.h>
inline long CurrentProcessId() {
    return _getpid();
}
inline void SetRuntimeFolder(const std::filesystem::path&) {}  // sessions are Windows' own
#else
#include <stdlib.h>
#include <unistd.h>
inline long CurrentProcessId() {
    return ::getpid();
}
inline void SetRuntimeFolder(const std::filesystem::path& folder) {
    ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
}
#endif

namespace skyfault {

namespace fs = std::filesystem;
using namespace std::string_literals;

class ConfigFile : public ::testing::Test {
protected:
    ConfigFile() { fs::create_directories(folder_); }
    ~ConfigFile() override { fs::remove_all(folder_, error_); }
    static void Put(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Bytes(const fs::path& path) { return LoadConfigFile(path.string()).bytes; }
    // The names in the folder at any depth: a save leaves no temporary file.
    long Names() const { return std::distance(fs::recursive_directory_iterator(folder_), {}); }

    const fs::path folder_ =
        fs::temp_directory_path() / ("skyfault-settings-" + std::to_string(std::random_device{}()));
    const fs::path file_ = folder_ / "skyfault.cfg";
    std::error_code error_;
};

}  // namespace skyfault
