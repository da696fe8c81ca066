#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "settings/config.h"

namespace skyfault {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Put(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A fresh, empty folder per test, removed afterwards.
class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ =
            fs::temp_directory_path() / ("skyfault-settings-" + std::string(info->name()) + "-" +
                                         std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        file_ = folder_ / "skyfault.cfg";
    }
    void TearDown() override {
        std::error_code error;
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, error);
        if (fs::exists(file_, error)) {
            fs::permissions(file_, fs::perms::owner_write, fs::perm_options::add, error);
        }
        fs::remove_all(folder_, error);
    }

    // Names in the folder other than the target: a failed or finished save
    // leaves no temporary file behind.
    int Others() const {
        int count = 0;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            if (entry.path().filename() != "skyfault.cfg") {
                ++count;
            }
        }
        return count;
    }

    fs::path folder_;
    fs::path file_;
};

TEST_F(ConfigFile, LoadsTheBytesAsTheyAreOrSaysWhyNot) {
    EXPECT_EQ(LoadConfigFile(file_.string()).status, LoadResult::Status::Missing);
    EXPECT_EQ(LoadConfigFile((folder_ / "no" / "skyfault.cfg").string()).status,
              LoadResult::Status::Missing);

    const std::string bytes = "Rate=5\r\nDefaultSound=\xE9\0x\r\nlast"s;
    Put(file_, bytes);
    LoadResult result = LoadConfigFile(file_.string());
    EXPECT_EQ(result.status, LoadResult::Status::Loaded);
    EXPECT_EQ(result.bytes, bytes);
    EXPECT_TRUE(result.error.empty());

    fs::remove(file_);
    fs::create_directory(file_);
    result = LoadConfigFile(file_.string());
    EXPECT_EQ(result.status, LoadResult::Status::Unreadable);
    EXPECT_FALSE(result.error.empty());
    EXPECT_EQ(ReadErrorMessage(result.error), "Could not read skyfault.cfg: " + result.error);
}

TEST_F(ConfigFile, SaveCreatesOrReplacesTheWholeFileEvenAReadOnlyOne) {
    EXPECT_EQ(SaveConfigFile(file_.string(), "Rate=5\r\n"), "");
    EXPECT_EQ(Slurp(file_), "Rate=5\r\n");
    Put(file_, std::string(10000, 'x'));
    fs::permissions(file_,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_EQ(SaveConfigFile(file_.string(), "new"), "");
    EXPECT_EQ(Slurp(file_), "new");
    EXPECT_EQ(Others(), 0);
}

TEST_F(ConfigFile, SaveOverAFolderOrIntoAMissingOneFailsAndLeavesThemAlone) {
    fs::create_directory(file_);
    Put(file_ / "inside", "keep");
    const std::string reason = SaveConfigFile(file_.string(), "Rate=5\r\n");
    EXPECT_FALSE(reason.empty());
    EXPECT_TRUE(fs::is_directory(file_));
    EXPECT_EQ(Slurp(file_ / "inside"), "keep");
    EXPECT_EQ(Others(), 0);  // the temporary file is gone
    EXPECT_EQ(SaveErrorMessage(reason), "Could not save skyfault.cfg: " + reason);

    EXPECT_FALSE(SaveConfigFile((folder_ / "missing" / "skyfault.cfg").string(), "x").empty());
    EXPECT_FALSE(fs::exists(folder_ / "missing"));
}

}  // namespace
}  // namespace skyfault
