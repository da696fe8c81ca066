// Loading and saving skyfault.cfg where POSIX FIFOs, devices, symbolic links,
// permission bits and processes come in.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "tests/settings/config_file.h"

namespace skyfault {
namespace {

// Nothing but a regular file of at most 16 MB is read, and the read never
// waits: not for a FIFO nobody writes to, nor an endless device.
TEST_F(ConfigFile, OnlyARegularFileOfAtMost16MBIsRead) {
    const fs::path fifo = folder_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path big = folder_ / "big";
    const fs::path limit = folder_ / "limit";
    for (const auto& [path, size] :
         {std::pair{big, kMaxConfigFileBytes + 1}, {limit, kMaxConfigFileBytes}}) {
        Put(path, "Rate=5\r\n");
        fs::resize_file(path, size);
    }
    for (const fs::path& target : {fifo, fs::path("/dev/zero"), big, limit}) {
        SCOPED_TRACE(target.string());
        fs::remove(file_);
        fs::create_symlink(target, file_);
        auto load =
            std::async(std::launch::async, [this] { return LoadConfigFile(file_.string()); });
        if (load.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "the read waited";
            ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // lets it go on
        }
        const LoadResult result = load.get();
        const bool readable = target == limit;
        EXPECT_EQ(result.status,
                  readable ? LoadResult::Status::Loaded : LoadResult::Status::Unreadable);
        EXPECT_EQ(result.bytes.size(), readable ? kMaxConfigFileBytes : 0);
        EXPECT_NE(result.error.empty(), !readable);
    }
}

// A save replaces the file where a chain of links ends (or would end) and
// keeps the links; the new file has the old one's permission bits, a new file
// those of the umask. A link to anything but a regular file fails the save.
TEST_F(ConfigFile, SavingGoesThroughLinksAndKeepsTheMode) {
    const mode_t umask = ::umask(022);
    const fs::path real = folder_ / "kept" / "real.cfg";
    fs::create_directories(folder_ / "kept");
    fs::create_symlink("real.cfg", folder_ / "kept" / "hop");
    ASSERT_EQ(::mkfifo((folder_ / "kept" / "fifo").c_str(), 0600), 0);
    const std::tuple<fs::path, mode_t, mode_t> cases[] = {
        // what skyfault.cfg links to ("": a plain file), old mode (0: none), new mode (0: fails)
        {"", 0440, 0440},
        {"", 0, 0644},
        {"kept/real.cfg", 0640, 0640},
        {real, 0600, 0600},
        {"kept/hop", 0604, 0604},
        {"kept/real.cfg", 0, 0644},
        {"kept/fifo", 0, 0},
        {"kept", 0, 0}};
    for (const auto& [link, oldMode, newMode] : cases) {
        SCOPED_TRACE(link.string() + " " + std::to_string(oldMode));
        fs::remove(file_);
        fs::remove(real);
        const fs::path written = link.empty() ? file_ : real;
        if (!link.empty()) {
            fs::create_symlink(link, file_);
        }
        if (oldMode != 0) {
            Put(written, "old");
            ASSERT_EQ(::chmod(written.c_str(), oldMode), 0);
        }
        const std::string reason = SaveConfigFile(file_.string(), "new");
        EXPECT_EQ(fs::is_symlink(file_), !link.empty());
        EXPECT_EQ(reason.empty(), newMode != 0);
        struct stat info {};
        EXPECT_EQ(::stat(written.c_str(), &info) == 0 ? info.st_mode & 07777 : 0, newMode);
        EXPECT_EQ(Names(), (newMode != 0 ? 5 : 4) - (link.empty() ? 1 : 0));
    }
    EXPECT_TRUE(fs::is_fifo(folder_ / "kept" / "fifo"));
    ::umask(umask);
}

// A write cut short (here by a file size limit) fails the save and leaves the
// old file exactly as it was, with no temporary file beside it.
TEST_F(ConfigFile, AFailedWriteLeavesTheOldFile) {
    Put(file_, "old");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{2, 2};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(SaveConfigFile(file_.string(), "longer") != "" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the save did not fail";
    EXPECT_EQ(Slurp(file_), "old");
    EXPECT_EQ(Names(), 1);
}

// A save removes the temporary files of saves whose process is gone, and
// only those.
TEST_F(ConfigFile, SavingRemovesWhatKilledSavesLeftBehind) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::_exit(0);
    }
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    const std::string base = file_.string() + ".tmp";
    for (const auto& name :
         {std::to_string(child) + "-0", std::to_string(::getpid()) + "-7", "notes"s}) {
        Put(base + name, "half");
    }
    ASSERT_EQ(SaveConfigFile(file_.string(), "new"), "");
    EXPECT_FALSE(fs::exists(base + std::to_string(child) + "-0"));
    EXPECT_EQ(Names(), 3);
}

}  // namespace
}  // namespace skyfault
