// Loading and saving skyfault.cfg where FIFOs, devices, symbolic links,
// permission bits and limits on file sizes come in.
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
// waits: not for a FIFO nobody writes to, nor for an endless device.
TEST_F(ConfigFile, OnlyARegularFileOfAtMost16MBIsRead) {
    const fs::path fifo = folder_ / "fifo", big = folder_ / "big", limit = folder_ / "limit";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Put(big, std::string(kMaxConfigFileBytes + 1, '\n'));
    Put(limit, std::string(kMaxConfigFileBytes, '\n'));
    for (const fs::path& target : {fifo, fs::path("/dev/zero"), big, limit}) {
        SCOPED_TRACE(target.string());
        auto load = std::async(std::launch::async, [&] { return LoadConfigFile(target.string()); });
        if (load.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "the read waited";
            ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // lets it go on
        }
        const LoadResult result = load.get();
        EXPECT_EQ(result.status == LoadResult::Status::Loaded, target == limit);
        EXPECT_EQ(result.bytes.size(), target == limit ? kMaxConfigFileBytes : 0);
        EXPECT_EQ(result.error.empty(), target == limit);
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
    fs::create_symlink(real, folder_ / "abs");
    ASSERT_EQ(::mkfifo((folder_ / "kept" / "fifo").c_str(), 0600), 0);
    // What skyfault.cfg links to, the old file's mode (0: no file) and the
    // new one's (0: the save fails).
    const std::tuple<const char*, mode_t, mode_t> cases[] = {
        {"kept/real.cfg", 0440, 0440}, {"kept/real.cfg", 0, 0644}, {"kept/hop", 0604, 0604},
        {"abs", 0600, 0600},           {"kept/fifo", 0, 0},        {"kept", 0, 0}};
    for (const auto& [link, oldMode, newMode] : cases) {
        SCOPED_TRACE(link + std::to_string(oldMode));
        fs::remove(file_);
        fs::remove(real);
        fs::create_symlink(link, file_);
        if (oldMode != 0) {
            Put(real, "old");
            ASSERT_EQ(::chmod(real.c_str(), oldMode), 0);
        }
        EXPECT_EQ(SaveConfigFile(file_.string(), "new").empty(), newMode != 0);
        struct stat info {};
        EXPECT_EQ(::stat(real.c_str(), &info) == 0 ? info.st_mode & 07777 : 0, newMode);
        EXPECT_EQ(Bytes(real), newMode != 0 ? "new" : "");
        EXPECT_TRUE(fs::is_symlink(file_));
        EXPECT_EQ(Names(), newMode != 0 ? 6 : 5);
    }
    ::umask(umask);
}

// A save whose write fails (past a limit on file sizes) says so, and leaves
// the old file as it was and no temporary file.
TEST_F(ConfigFile, AFailedSaveLeavesTheOldFile) {
    Put(file_, "old");
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit limit{2, 2};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_IGN);
        ::_exit(SaveConfigFile(file_.string(), "longer").empty() ? 1 : 0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Bytes(file_), "old");
    EXPECT_EQ(Names(), 1);
}

// A file another program holds (a lease: Linux's way of a program wanting
// to know before anyone opens its file) is tried again: read once it is let
// go, unreadable when that takes longer than the wait.
TEST_F(ConfigFile, AFileHeldByAnotherProgramIsTriedAgain) {
    Put(file_, "Rate=5\r\n");
    for (const int heldMs : {100, 1500}) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::signal(SIGIO, SIG_IGN);  // told of the opener by SIGIO
            const int fd = ::open(file_.c_str(), O_RDONLY);
            const char leased = ::fcntl(fd, F_SETLEASE, F_WRLCK) == 0 ? 'y' : 'n';
            (void)!::write(ready[1], &leased, 1);
            ::usleep(static_cast<useconds_t>(heldMs) * 1000);
            ::_exit(::fcntl(fd, F_SETLEASE, F_UNLCK));
        }
        char leased = 'n';
        ASSERT_EQ(::read(ready[0], &leased, 1), 1);
        ::close(ready[0]);
        ::close(ready[1]);
        if (leased != 'y') {
            ::waitpid(child, nullptr, 0);
            GTEST_SKIP() << "no leases here";
        }
        const LoadResult result = LoadConfigFile(file_.string(), std::chrono::milliseconds(1000));
        ::waitpid(child, nullptr, 0);
        EXPECT_EQ(result.status,
                  heldMs < 1000 ? LoadResult::Status::Loaded : LoadResult::Status::Unreadable);
        EXPECT_EQ(result.bytes, heldMs < 1000 ? "Rate=5\r\n" : "");
    }
}

}  // namespace
}  // namespace skyfault
