#pragma once

// skyfault-sim as a child process on a private meeting place, for the fault
// injection tests (POSIX only).

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace skyfault::hardening {

// A private XDG_RUNTIME_DIR (and so a private meeting place) for one test.
class RuntimeDir {
public:
    RuntimeDir() {
        char pattern[] = "/tmp/skyfault-hardening-XXXXXX";
        path_ = mkdtemp(pattern);
        setenv("XDG_RUNTIME_DIR", path_.c_str(), 1);
    }
    ~RuntimeDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    RuntimeDir(const RuntimeDir&) = delete;
    RuntimeDir& operator=(const RuntimeDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string Meeting() const { return path_ + "/skyfault-ipc"; }
    std::string Socket() const { return Meeting() + "/UIPCMAIN"; }

private:
    std::string path_;
};

// skyfault-sim with its standard input and output on pipes; killed (SIGKILL)
// when it goes out of scope.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args = {}) {
        int in[2];
        int out[2];
        EXPECT_EQ(pipe2(in, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        args.insert(args.begin(), SKYFAULT_SIM_PATH);
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        in_ = in[1];
        out_ = out[0];
        ready_ = WaitFor("ready");
    }
    ~SimProcess() {
        Kill();
        close(in_);
        close(out_);
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The server printed "ready": it serves.
    bool Ready() const { return ready_; }

    void Kill() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }

    void Command(const std::string& line) {
        const std::string text = line + "\n";
        EXPECT_EQ(write(in_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    // Skips output lines until one equals `line`; false after 10 s or at the end.
    bool WaitFor(const std::string& line) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            const auto end = buffer_.find('\n');
            if (end != std::string::npos) {
                const std::string next = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                if (next == line) {
                    return true;
                }
                continue;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{out_, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                return false;
            }
            char chunk[512];
            const ssize_t got = read(out_, chunk, sizeof chunk);
            if (got <= 0) {
                return false;
            }
            buffer_.append(chunk, static_cast<std::size_t>(got));
        }
    }

private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    bool ready_ = false;
    std::string buffer_;
};

// Runs `body` in a forked child and returns its exit code (128 + signal when
// a signal ended it). The child ends with _exit, running no destructors of
// the parent's objects.
template <typename Body>
int RunInChild(Body body) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int code = body();
        _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace skyfault::hardening
