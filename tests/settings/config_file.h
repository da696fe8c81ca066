// A fresh, empty folder per test, removed afterwards, for skyfault.cfg.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "settings/config.h"

namespace skyfault {

namespace fs = std::filesystem;
using namespace std::string_literals;

class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        folder_ = fs::temp_directory_path() /
                  ("skyfault-settings-" + test + "-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder_);
        file_ = folder_ / "skyfault.cfg";
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(folder_, error);
    }

    static std::string Slurp(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void Put(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    // How many names the folder holds, at any depth: a save leaves no
    // temporary file behind.
    int Names() const {
        int names = 0;
        for (auto it = fs::recursive_directory_iterator(folder_); it != decltype(it)(); ++it) {
            ++names;
        }
        return names;
    }

    fs::path folder_;
    fs::path file_;
};

}  // namespace skyfault
