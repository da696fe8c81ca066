// The local transport against a small server thread in the test, in a
// private meeting place (XDG_RUNTIME_DIR points at a fresh temporary folder).

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/codec.h"
#include "link/link.h"
#include "link/local_ipc.h"
#include "link/local_ipc_posix.h"
#include "link/transport_posix.h"
#include "sim/sim_core.h"
#include "tests/support/sim_process_posix.h"

namespace skyfault::link {
namespace {

namespace fs = std::filesystem;

enum class Mode {
    kServe,       // process the block and answer 1
    kSilent,      // read requests, never answer
    kStaleFirst,  // answer an older sequence number first, then the right one
    kLate,        // answer 100 + the request's number, after 60 ms
    kDropFirst,   // close the first connection on its first request, serve later ones
};

class TestServer {
public:
    TestServer(const std::string& directory, std::string className, Mode mode) : mode_(mode) {
        path_ = local::MeetingPath(directory, className);
        listener_ = test_support::ListenAt(path_);
        thread_ = std::thread([this] { Run(); });
    }
    ~TestServer() {
        stop_ = true;
        thread_.join();
        for (int fd : clients_) {
            close(fd);
        }
        close(listener_);
        unlink(path_.c_str());
    }

    std::vector<local::RequestFrame> Frames() {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    int Connections() const { return connections_; }
    bool PeerWasOwnUser() const { return peerOwn_; }

private:
    void Run() {
        while (!stop_) {
            std::vector<pollfd> waits{{listener_, POLLIN, 0}};
            for (int fd : clients_) {
                waits.push_back({fd, POLLIN, 0});
            }
            if (poll(waits.data(), waits.size(), 5) <= 0) {
                continue;
            }
            if (waits[0].revents & POLLIN) {
                const int fd = accept(listener_, nullptr, nullptr);
                if (fd >= 0) {
                    ++connections_;
                    peerOwn_ = local::PeerIsEffectiveUser(fd);
                    clients_.push_back(fd);
                }
            }
            for (std::size_t i = 1; i < waits.size(); ++i) {
                if (waits[i].revents & (POLLIN | POLLHUP)) {
                    Serve(waits[i].fd);
                }
            }
        }
    }

    void Drop(int fd) {
        close(fd);
        std::erase(clients_, fd);
    }

    void Serve(int fd) {
        std::uint8_t bytes[local::kRequestFrameSize];
        const auto frame = test_support::ReadFull(fd, bytes, sizeof bytes, 1000)
                               ? local::DecodeRequest(bytes)
                               : std::nullopt;
        if (!frame) {
            Drop(fd);
            return;
        }
        {
            std::lock_guard lock(mutex_);
            frames_.push_back(*frame);
        }
        if (mode_ == Mode::kSilent) {
            return;
        }
        if (mode_ == Mode::kDropFirst && !dropped_) {
            dropped_ = true;
            Drop(fd);
            return;
        }
        std::uint32_t answer = Process(*frame);
        if (mode_ == Mode::kStaleFirst) {
            EXPECT_TRUE(Reply(fd, frame->sequence - 1, 1));
        }
        if (mode_ == Mode::kLate) {
            // Answers tell which request they belong to: 101, 102, ... The
            // client may have gone by then.
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
            answer = 100 + static_cast<std::uint32_t>(Frames().size());
            Reply(fd, frame->sequence, answer);
            return;
        }
        EXPECT_TRUE(Reply(fd, frame->sequence, answer));
    }

    static bool Reply(int fd, std::uint32_t sequence, std::uint32_t answer) {
        const auto reply = local::EncodeReply({sequence, answer});
        return send(fd, reply.data(), reply.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(reply.size());
    }

    // Carries out the block against the simulator stand-in's offset space.
    std::uint32_t Process(const local::RequestFrame& frame) {
        if (!local::IsValidBlockName(frame.name) ||
            frame.message != local::MessageNumber("FSASMLIB:IPC")) {
            return 0;
        }
        const std::string file = local::MeetingPath(fs::path(path_).parent_path(), frame.name);
        const int fd = open(file.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        void* mapped = fd >= 0 && local::IsOwnRegularFile(fd, kBlockSize)
                           ? mmap(nullptr, kBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                           : MAP_FAILED;
        if (fd >= 0) {
            close(fd);
        }
        if (mapped == MAP_FAILED) {
            return 0;
        }
        sim::ProcessBlock(static_cast<std::uint8_t*>(mapped), space_,
                          [](const sim::WriteRecord&) {});
        munmap(mapped, kBlockSize);
        return 1;
    }

    Mode mode_;
    sim::OffsetSpace space_;
    std::string path_;
    int listener_ = -1;
    std::vector<int> clients_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::atomic<bool> peerOwn_{false};
    bool dropped_ = false;
    std::mutex mutex_;
    std::vector<local::RequestFrame> frames_;
};

class LocalTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        runtime_ = dir_.Path();
        directory_ = dir_.Meeting();
        LocalTransportOptions options;
        options.sendTimeoutCapMs = 20;
        options.sleep = [this](std::uint32_t ms) {
            ++sleeps_;
            sleptMs_ += ms;
        };
        transport_ = MakeLocalTransport(std::move(options));
        link_ = std::make_unique<Link>(*transport_);
    }
    void MakeDirectory() {
        std::string path, error;
        ASSERT_TRUE(local::PrepareMeetingDirectory(path, error)) << error;
        ASSERT_EQ(path, directory_);
    }
    std::int32_t Open() {
        std::int32_t result = -1;
        link_->LinkOpen(0, result);
        return result;
    }
    // Entries of D other than the server's socket.
    std::vector<std::string> Leftovers() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(directory_)) {
            if (!entry.is_socket()) {
                names.push_back(entry.path().filename().string());
            }
        }
        return names;
    }
    std::string BlockPath() const { return directory_ + "/" + BlockName(getpid()); }

    test_support::RuntimeDir dir_;
    std::string runtime_;
    std::string directory_;
    int sleeps_ = 0;
    std::uint32_t sleptMs_ = 0;
    std::unique_ptr<Transport> transport_;
    std::unique_ptr<Link> link_;
};

TEST_F(LocalTransportTest, OpensExchangesAndRemovesTheBlockFileOnClose) {
    MakeDirectory();
    TestServer server(directory_, "UIPCMAIN", Mode::kServe);
    ASSERT_EQ(Open(), kOkay);
    EXPECT_EQ(link_->FsuipcVersion(), 0x40000000);
    EXPECT_EQ(link_->SimVersion(), 4u);
    EXPECT_TRUE(server.PeerWasOwnUser());

    struct stat info {};
    ASSERT_EQ(lstat(BlockPath().c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(info.st_size, 32768);

    std::uint32_t value = 0;
    std::int32_t result = -1;
    ASSERT_TRUE(link_->LinkRead(0x02BC, 4, &value, result));
    ASSERT_TRUE(link_->LinkProcess(result));
    EXPECT_EQ(value, 120u * 128u) << "the stand-in's starting airspeed";

    const auto frames = server.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_NE(frames[0].sequence, frames[1].sequence);
    EXPECT_EQ(frames[0].message, local::MessageNumber("FSASMLIB:IPC"));
    EXPECT_EQ(frames[0].name, BlockName(getpid()));
    EXPECT_EQ(frames[0].wParam, static_cast<std::int16_t>(0xC000)) << "atom widened with sign";
    EXPECT_EQ(frames[0].lParam, 0);
    EXPECT_EQ(server.Connections(), 1) << "one connection carries every exchange";

    link_->LinkClose();
    EXPECT_TRUE(Leftovers().empty());
    EXPECT_NE(lstat(BlockPath().c_str(), &info), 0);
}

TEST_F(LocalTransportTest, NoServerGives2AndCreatesAPrivateDirectory) {
    EXPECT_EQ(Open(), kNoServer);
    struct stat info {};
    ASSERT_EQ(lstat(directory_.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(LocalTransportTest, SilentServerTimesOutAfter11SendsAndLeavesNothing) {
    MakeDirectory();
    TestServer server(directory_, "UIPCMAIN", Mode::kSilent);
    EXPECT_EQ(Open(), kTimedOut);
    EXPECT_EQ(sleeps_, 10);
    EXPECT_EQ(sleptMs_, 1000u);
    EXPECT_FALSE(link_->IsOpen());
    EXPECT_TRUE(Leftovers().empty());
    const auto frames = server.Frames();
    ASSERT_EQ(frames.size(), 11u);
    for (std::size_t i = 1; i < frames.size(); ++i) {
        EXPECT_NE(frames[i].sequence, frames[i - 1].sequence) << "a new number for every send";
    }
    // Unread frames never pile up in one connection.
    EXPECT_EQ(server.Connections(), 11) << "a connection whose try timed out is not used again";
}

TEST_F(LocalTransportTest, RepliesToOtherSequenceNumbersAreDiscarded) {
    MakeDirectory();
    TestServer server(directory_, "UIPCMAIN", Mode::kStaleFirst);
    EXPECT_EQ(Open(), kOkay);
    EXPECT_EQ(server.Frames().size(), 1u);
}

TEST_F(LocalTransportTest, ALateAnswerIsNeverTakenForTheNextOne) {
    MakeDirectory();
    TestServer server(directory_, "UIPCMAIN", Mode::kLate);
    auto patient = MakeLocalTransport();
    const std::uintptr_t window = patient->FindServerWindow("UIPCMAIN");
    ASSERT_NE(window, 0u);
    const std::uint16_t atom = patient->AddAtom("FSASMLIB:IPC:1:1");
    std::uint32_t answer = 0;
    std::uint32_t error = 99;
    const std::int32_t wParam = static_cast<std::int16_t>(atom);
    EXPECT_FALSE(patient->SendMessageTimeout(window, 1, wParam, 0, 5, answer, error));
    EXPECT_EQ(error, 0u) << "a plain time-out";
    // The first request's answer (101) comes while the second one waits,
    // on the connection that was closed when the first try timed out.
    EXPECT_TRUE(patient->SendMessageTimeout(window, 1, wParam, 0, 2000, answer, error));
    EXPECT_EQ(answer, 102u);
    EXPECT_EQ(server.Connections(), 2);
    const auto frames = server.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].name, "FSASMLIB:IPC:1:1") << "the frame carries the atom's name";
    EXPECT_EQ(frames[0].wParam, wParam);
}

TEST_F(LocalTransportTest, LostConnectionFailsWithAnErrorThenReconnects) {
    MakeDirectory();
    TestServer server(directory_, "UIPCMAIN", Mode::kDropFirst);
    ASSERT_EQ(Open(), kOkay) << "the retry connects again";
    EXPECT_EQ(server.Connections(), 2);
    EXPECT_EQ(sleeps_, 2) << "one pause before the retry, one after the version round";
}

TEST_F(LocalTransportTest, ALeftoverBlockFileOfOurNameIsReplacedNeverOpened) {
    MakeDirectory();
    TestServer server(directory_, "UIPCMAIN", Mode::kServe);
    const std::string elsewhere = runtime_ + "/elsewhere";
    struct Case {
        const char* what;
        std::function<void()> leave;
    };
    const Case cases[] = {
        {"short file",
         [&] {
             const int fd = open(BlockPath().c_str(), O_CREAT | O_WRONLY, 0600);
             ASSERT_GE(fd, 0);
             ASSERT_EQ(write(fd, "mine", 4), 4);
             close(fd);
         }},
        {"named pipe", [&] { ASSERT_EQ(mkfifo(BlockPath().c_str(), 0400), 0); }},
        {"symbolic link", [&] { ASSERT_EQ(symlink(elsewhere.c_str(), BlockPath().c_str()), 0); }},
    };
    for (const Case& c : cases) {
        std::error_code ignored;
        fs::remove(BlockPath(), ignored);
        fs::remove(elsewhere, ignored);
        const int fd = open(elsewhere.c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, "kept", 4), 4);
        close(fd);
        c.leave();
        ASSERT_EQ(Open(), kOkay) << c.what;
        struct stat info {};
        ASSERT_EQ(lstat(BlockPath().c_str(), &info), 0) << c.what;
        EXPECT_TRUE(S_ISREG(info.st_mode)) << c.what;
        EXPECT_EQ(info.st_size, 32768) << c.what;
        EXPECT_EQ(fs::file_size(elsewhere), 4u) << c.what << ": nothing behind the name is touched";
        link_->LinkClose();
        EXPECT_NE(lstat(BlockPath().c_str(), &info), 0) << c.what;
    }

    // The block of a link that this process holds is no leftover.
    ASSERT_EQ(Open(), kOkay);
    auto other = MakeLocalTransport({20, [](std::uint32_t) {}});
    Link second(*other);
    std::int32_t result = -1;
    EXPECT_FALSE(second.LinkOpen(0, result));
    EXPECT_EQ(result, kMappingFailed);
    std::uint32_t value = 0;
    ASSERT_TRUE(link_->LinkRead(0x02BC, 4, &value, result));
    EXPECT_TRUE(link_->LinkProcess(result)) << result;
    EXPECT_EQ(value, 120u * 128u);
}

TEST_F(LocalTransportTest, UnfitDirectoriesAreTakenForNoServer) {
    const std::string elsewhere = runtime_ + "/elsewhere";
    struct Case {
        const char* what;
        std::function<void()> arrange;
    };
    const Case cases[] = {
        {"open to group", [&] { ASSERT_EQ(mkdir(directory_.c_str(), 0750), 0); }},
        {"open to others",
         [&] {
             ASSERT_EQ(mkdir(directory_.c_str(), 0700), 0);
             ASSERT_EQ(chmod(directory_.c_str(), 0701), 0);
         }},
        {"symbolic link",
         [&] {
             ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
             ASSERT_EQ(symlink(elsewhere.c_str(), directory_.c_str()), 0);
         }},
        {"not a directory",
         [&] {
             const int fd = open(directory_.c_str(), O_CREAT | O_WRONLY, 0600);
             ASSERT_GE(fd, 0);
             close(fd);
         }},
    };
    for (const Case& c : cases) {
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
        fs::remove_all(elsewhere, ignored);
        c.arrange();
        ASSERT_TRUE(local::CheckMeetingDirectory(directory_).has_value()) << c.what;
        std::string path, error;
        EXPECT_FALSE(local::PrepareMeetingDirectory(path, error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
        if (fs::is_directory(directory_)) {
            // Even with a server listening inside, the place is not trusted.
            TestServer server(directory_, "UIPCMAIN", Mode::kServe);
            EXPECT_EQ(Open(), kNoServer) << c.what;
        } else {
            EXPECT_EQ(Open(), kNoServer) << c.what;
        }
    }
}

TEST_F(LocalTransportTest, DirectoryOfAnotherUserIsRefused) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to give the directory away";
    }
    MakeDirectory();
    ASSERT_EQ(chown(directory_.c_str(), 12345, 12345), 0);
    EXPECT_TRUE(local::CheckMeetingDirectory(directory_).has_value());
    EXPECT_EQ(Open(), kNoServer);
}

TEST(MeetingDirectoryTest, FallsBackToTmpWithoutAnAbsoluteRuntimeDirectory) {
    const char* previous = std::getenv("XDG_RUNTIME_DIR");
    const std::optional<std::string> saved =
        previous ? std::optional<std::string>(previous) : std::nullopt;
    const std::string fallback = "/tmp/skyfault-ipc-" + std::to_string(geteuid());
    setenv("XDG_RUNTIME_DIR", "relative/dir", 1);
    EXPECT_EQ(local::MeetingDirectory(), fallback);
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(local::MeetingDirectory(), fallback);
    setenv("XDG_RUNTIME_DIR", "/run/user/7/", 1);
    EXPECT_EQ(local::MeetingDirectory(), "/run/user/7/skyfault-ipc");
    if (saved) {
        setenv("XDG_RUNTIME_DIR", saved->c_str(), 1);
    } else {
        unsetenv("XDG_RUNTIME_DIR");
    }
}

}  // namespace
}  // namespace skyfault::link
