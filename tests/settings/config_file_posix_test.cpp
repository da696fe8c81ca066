// Failures of the configuration file that need POSIX permissions or processes
// (a write cut short by a full disk is tested through the engine in tests/hardening).
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "settings/config.h"

namespace skyfault {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ConfigFilePosix : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ =
            fs::temp_directory_path() / ("skyfault-settings-posix-" + std::string(info->name()) +
                                         "-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        file_ = folder_ / "skyfault.cfg";
        std::ofstream(file_, std::ios::binary) << "old content\r\n";
    }
    void TearDown() override {
        ::chmod(folder_.c_str(), 0700);
        ::chmod(file_.c_str(), 0600);
        std::error_code error;
        fs::remove_all(folder_, error);
    }

    fs::path folder_;
    fs::path file_;
};

TEST_F(ConfigFilePosix, UnreadableFile) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permission bits do not bind the superuser";
    }
    ASSERT_EQ(::chmod(file_.c_str(), 0), 0);
    const LoadResult result = LoadConfigFile(file_.string());
    EXPECT_EQ(result.status, LoadResult::Status::Unreadable);
    EXPECT_FALSE(result.error.empty());
}

TEST_F(ConfigFilePosix, ReplacingKeepsNoPrivateModeAndFollowsTheUmask) {
    const mode_t old = ::umask(022);
    ASSERT_EQ(SaveConfigFile(file_.string(), "new"), "");
    ::umask(old);
    struct stat info {};
    ASSERT_EQ(::stat(file_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    EXPECT_EQ(Slurp(file_), "new");
}

TEST_F(ConfigFilePosix, SavingRemovesWhatKilledSavesLeftBehind) {
    // A process that has ended: a child, already reaped.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const std::string base = file_.string() + ".tmp";
    const fs::path abandoned = base + std::to_string(child) + "-0";
    const fs::path live = base + std::to_string(::getpid()) + "-7";
    const fs::path unrelated = base + "notes";
    for (const auto& path : {abandoned, live, unrelated}) {
        std::ofstream(path, std::ios::binary) << "half";
    }
    ASSERT_EQ(SaveConfigFile(file_.string(), "new"), "");
    EXPECT_FALSE(fs::exists(abandoned));
    EXPECT_TRUE(fs::exists(live));
    EXPECT_TRUE(fs::exists(unrelated));
    EXPECT_EQ(Slurp(file_), "new");
}

}  // namespace
}  // namespace skyfault
