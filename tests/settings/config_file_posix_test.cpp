// Failures of the configuration file that need POSIX permissions, processes,
// FIFOs, devices or symbolic links (a write cut short by a full disk is tested
// through the engine in tests/hardening).
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
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

// Anything but a regular file is refused before a byte is read, and without
// waiting: a FIFO nobody writes to, endless devices, a file over 16 MB.
TEST_F(ConfigFilePosix, OnlyARegularFileOfAtMost16MBIsRead) {
    const fs::path fifo = folder_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path big = folder_ / "big";
    std::ofstream(big, std::ios::binary) << "Rate=5\r\n";
    fs::resize_file(big, (16u << 20) + 1);
    const fs::path limit = folder_ / "limit";
    std::ofstream(limit, std::ios::binary) << "Rate=5\r\n";
    fs::resize_file(limit, 16u << 20);

    for (const auto& [target, readable] : {std::pair{fifo, false},
                                           {fs::path("/dev/zero"), false},
                                           {fs::path("/dev/urandom"), false},
                                           {fs::path("/dev/null"), false},
                                           {big, false},
                                           {limit, true}}) {
        SCOPED_TRACE(target.string());
        fs::remove(file_);
        fs::create_symlink(target, file_);
        auto load =
            std::async(std::launch::async, [this] { return LoadConfigFile(file_.string()); });
        if (load.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            // Let a reader that waits for a writer go on, then fail.
            const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) {
                ::close(writer);
            }
            ADD_FAILURE() << "the read waited";
        }
        const LoadResult result = load.get();
        if (readable) {
            EXPECT_EQ(result.status, LoadResult::Status::Loaded);
            EXPECT_EQ(result.bytes.size(), 16u << 20);
            continue;
        }
        EXPECT_EQ(result.status, LoadResult::Status::Unreadable);
        EXPECT_FALSE(result.error.empty());
        EXPECT_TRUE(result.bytes.empty());
    }
    // Both FIFO ends are still free: nobody opened it.
    EXPECT_TRUE(fs::is_fifo(fifo));
}

// Saving replaces the file where a chain of symbolic links ends (or would
// end) and keeps the link; the new file has the old one's permission bits,
// and a new file those of the umask. A link to anything but a regular file
// is left alone and the save fails.
TEST_F(ConfigFilePosix, SavingGoesThroughLinksAndKeepsTheMode) {
    const mode_t umask = ::umask(022);
    const fs::path kept = folder_ / "kept";
    fs::create_directories(kept / "deeper");
    const fs::path real = kept / "deeper" / "real.cfg";
    const fs::path fifo = kept / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string name;
        fs::path link;    // what skyfault.cfg points to; empty: a plain file
        mode_t oldMode;   // 0: no file where the save goes
        mode_t expected;  // 0: the save fails
    };
    const Case cases[] = {
        {"plain private file", "", 0600, 0600},
        {"plain read-only file", "", 0440, 0440},
        {"no file yet", "", 0, 0644},
        {"relative link", "kept/deeper/real.cfg", 0600, 0600},
        {"absolute link", real, 0640, 0640},
        {"link to a link", "kept/hop", 0600, 0600},
        {"dangling link", "kept/deeper/real.cfg", 0, 0644},
        {"link to a FIFO", "kept/fifo", 0, 0},
        {"link to a folder", "kept/deeper", 0, 0},
    };
    fs::create_symlink("deeper/real.cfg", kept / "hop");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(file_);
        fs::remove(real);
        const fs::path written = c.link.empty() ? file_ : real;
        if (!c.link.empty()) {
            fs::create_symlink(c.link, file_);
        }
        if (c.oldMode != 0) {
            std::ofstream(written, std::ios::binary) << "old";
            ASSERT_EQ(::chmod(written.c_str(), c.oldMode), 0);
        }
        const std::string reason = SaveConfigFile(file_.string(), "new");
        EXPECT_EQ(fs::is_symlink(file_), !c.link.empty());
        if (c.expected == 0) {
            EXPECT_NE(reason, "");
            EXPECT_TRUE(fs::is_fifo(fifo));
            EXPECT_TRUE(fs::is_directory(kept / "deeper"));
        } else {
            EXPECT_EQ(reason, "");
            EXPECT_EQ(Slurp(written), "new");
            struct stat info {};
            ASSERT_EQ(::stat(written.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 07777, c.expected);
        }
        // No temporary file is left anywhere.
        int entries = 0;
        for (const auto& entry : fs::recursive_directory_iterator(folder_)) {
            entries += entry.path() != written ? 1 : 0;
        }
        EXPECT_EQ(entries, c.link.empty() ? 4 : 5) << "kept, deeper, hop, fifo and the link";
    }
    ::umask(umask);
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
