// The Windows transport and the link in this process against skyfault-sim
// running as a process of its own: real window classes, the registered
// message, a global atom and a paging-file mapping crossing the process
// boundary. Built for Windows only; runs under Wine in the cross build.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include "link/link.h"
#include "link/transport.h"

#include "link/win32.h"

namespace {

using skyfault::link::Link;
using namespace std::chrono_literals;

// The folder of the program that runs, with a trailing backslash.
std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text(path, length);
    const std::size_t slash = text.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
}

// Test executables sit in <build>/tests, programs in <build>/bin.
std::string BuiltProgram(const char* name) {
    return ProgramFolder() + "..\\bin\\" + name;
}

bool FileExists(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool AnyServerWindow() {
    return ::FindWindowExA(nullptr, nullptr, "UIPCMAIN", nullptr) != nullptr ||
           ::FindWindowExA(nullptr, nullptr, "FS98MAIN", nullptr) != nullptr;
}

// A child process with its standard input fed by the test and its standard
// output and error going to a file of its own, which the test reads.
class ChildProcess final {
public:
    ChildProcess() = default;
    ~ChildProcess() {
        Finish(5000);
        if (!file_.empty()) {
            ::DeleteFileA(file_.c_str());
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(const std::string& commandLine, std::string& error) {
        char folder[MAX_PATH] = {};
        char file[MAX_PATH] = {};
        ::GetTempPathA(MAX_PATH, folder);
        ::GetTempFileNameA(folder, "sfo", 0, file);
        file_ = file;
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE childIn = nullptr;
        HANDLE childOut = ::CreateFileA(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (childOut == INVALID_HANDLE_VALUE || !::CreatePipe(&childIn, &input_, &inherit, 0)) {
            error = "no output file or input pipe: " + std::to_string(::GetLastError());
            return false;
        }
        ::SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);  // our end stays ours
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childIn;
        startup.hStdOutput = childOut;
        startup.hStdError = childOut;
        PROCESS_INFORMATION info{};
        std::string mutableLine = commandLine;
        const BOOL created = ::CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, TRUE,
                                              CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info);
        const DWORD createError = ::GetLastError();
        ::CloseHandle(childIn);
        ::CloseHandle(childOut);
        if (!created) {
            error = "CreateProcessA(" + commandLine + ") failed: " + std::to_string(createError);
            return false;
        }
        ::CloseHandle(info.hThread);
        process_ = info.hProcess;
        return true;
    }

    void Send(const std::string& line) {
        const std::string text = line + "\n";
        DWORD written = 0;
        ::WriteFile(input_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }

    // Waits for a whole output line, not seen before, that starts with
    // `prefix`; returns it, or "" when none came in time.
    std::string WaitForLine(const std::string& prefix, std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const bool ended = process_ == nullptr || ::WaitForSingleObject(process_, 0) == 0;
            std::istringstream lines(Text());
            std::string line;
            for (std::size_t i = 0; std::getline(lines, line); ++i) {
                if (i >= seen_ && (!lines.eof() || ended) && line.rfind(prefix, 0) == 0) {
                    seen_ = i + 1;
                    return line;
                }
            }
            if (ended || std::chrono::steady_clock::now() >= end) {
                return "";
            }
            ::Sleep(20);
        }
    }

    std::string Text() const {
        std::ifstream in(file_, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        return text;
    }

    // Closes its input, waits for its end (killing it past the time) and
    // returns its exit code.
    DWORD Finish(DWORD timeoutMs) {
        DWORD code = STILL_ACTIVE;
        if (input_ != nullptr) {
            ::CloseHandle(input_);
            input_ = nullptr;
        }
        if (process_ != nullptr) {
            if (::WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) {
                ::TerminateProcess(process_, 255);
                ::WaitForSingleObject(process_, INFINITE);
            }
            ::GetExitCodeProcess(process_, &code);
            ::CloseHandle(process_);
            process_ = nullptr;
        }
        return code;
    }

private:
    HANDLE process_ = nullptr;
    HANDLE input_ = nullptr;
    std::string file_;
    std::size_t seen_ = 0;
};

// Under Wine the first window of a session starts the desktop process, and a
// process that creates a window while that one is still starting gets no
// display driver at all. A hidden window of the test's own, made before any
// child starts and kept for the whole run, has the desktop up (and kept up)
// before any server needs it.
class DesktopReady final : public ::testing::Environment {
public:
    void SetUp() override {
        window_ = ::CreateWindowExA(0, "STATIC", "skyfault e2e", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                    nullptr, ::GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window_, nullptr)
            << "no window can be created (Windows error " << ::GetLastError()
            << "); under Wine, source scripts/wine-env.sh first (null graphics driver)";
    }
    void TearDown() override {
        if (window_ != nullptr) {
            ::DestroyWindow(window_);
        }
    }

private:
    HWND window_ = nullptr;
};

const ::testing::Environment* const kDesktopReady =
    ::testing::AddGlobalTestEnvironment(new DesktopReady);

class WineEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        simPath_ = BuiltProgram("skyfault-sim.exe");
        ASSERT_TRUE(FileExists(simPath_)) << simPath_ << " is missing";
        ASSERT_FALSE(AnyServerWindow()) << "a server window is already there";
    }

    // Starts skyfault-sim with `options` and waits for its "ready" line.
    std::unique_ptr<ChildProcess> StartSim(const std::string& options) {
        auto sim = std::make_unique<ChildProcess>();
        std::string error;
        if (!sim->Start("\"" + simPath_ + "\" " + options, error)) {
            ADD_FAILURE() << error;
            return nullptr;
        }
        if (sim->WaitForLine("ready", 20s).empty()) {
            ADD_FAILURE() << "skyfault-sim " << options << " never said ready:\n" << sim->Text();
            return nullptr;
        }
        return sim;
    }

    // Ends the stand-in with 'quit' and checks that it went cleanly.
    static void Quit(ChildProcess& sim) {
        sim.Send("quit");
        EXPECT_EQ(sim.Finish(10000), 0u) << sim.Text();
    }

    std::string simPath_;
};

TEST_F(WineEndToEnd, OpensReadsAndWritesAcrossProcesses) {
    auto sim = StartSim("");
    ASSERT_NE(sim, nullptr);
    sim->Send("set ias 123");
    sim->Send("set oat -7");
    // Commands run in order: once 'get' answers, both values are in place.
    sim->Send("get oat");
    ASSERT_EQ(sim->WaitForLine("oat ", 10s), "oat -7") << sim->Text();

    auto transport = skyfault::link::MakePlatformTransport();
    Link link(*transport);
    link.LinkInitialize();
    std::int32_t result = -1;
    ASSERT_TRUE(link.LinkOpen(0, result)) << "result " << result;
    EXPECT_EQ(result, 0);
    EXPECT_EQ(link.FsuipcVersion(), 0x40000000);
    EXPECT_EQ(link.SimVersion(), 4u);

    std::int32_t ias = 0;
    std::int16_t oat = 0;
    ASSERT_TRUE(link.LinkRead(0x02BC, 4, &ias, result));
    ASSERT_TRUE(link.LinkRead(0x0E8C, 2, &oat, result));
    ASSERT_TRUE(link.LinkProcess(result)) << "result " << result;
    EXPECT_EQ(ias, 123 * 128);
    EXPECT_EQ(oat, -7 * 256);

    const std::uint8_t failed = 1;
    ASSERT_TRUE(link.LinkWrite(0x0B71, 1, &failed, result));
    ASSERT_TRUE(link.LinkProcess(result)) << "result " << result;
    EXPECT_EQ(sim->WaitForLine("write 0x0B71", 10s), "write 0x0B71 1 01") << sim->Text();

    // The write reached the stand-in's offset space.
    sim->Send("peek 0x0B71 1");
    EXPECT_EQ(sim->WaitForLine("peek", 10s).rfind("peek 0x0B71 1 01", 0), 0u) << sim->Text();

    link.LinkClose();
    Quit(*sim);
}

TEST_F(WineEndToEnd, RefusedOpensGiveTheProtocolsCodes) {
    // No server at all: 2; a wrong version: 14 as WideClient, 7 as the
    // server; an answer other than 1: 13.
    const std::pair<const char*, std::int32_t> cases[] = {
        {nullptr, 2},
        {"--class FS98MAIN --wrong-version", 14},
        {"--class UIPCMAIN --wrong-version", 7},
        {"--answer 0", 13},
    };
    for (const auto& [options, expected] : cases) {
        SCOPED_TRACE(options == nullptr ? "no server" : options);
        std::unique_ptr<ChildProcess> sim;
        if (options != nullptr) {
            sim = StartSim(options);
            ASSERT_NE(sim, nullptr);
        }
        auto transport = skyfault::link::MakePlatformTransport();
        Link link(*transport);
        std::int32_t result = -1;
        EXPECT_FALSE(link.LinkOpen(0, result));
        EXPECT_EQ(result, expected);
        EXPECT_FALSE(link.IsOpen());
        if (sim) {
            Quit(*sim);
        }
    }
}

TEST_F(WineEndToEnd, ServerThatWentAwayFailsTheExchange) {
    auto sim = StartSim("");
    ASSERT_NE(sim, nullptr);
    auto transport = skyfault::link::MakePlatformTransport();
    Link link(*transport);
    link.LinkInitialize();
    std::int32_t result = -1;
    ASSERT_TRUE(link.LinkOpen(0, result)) << "result " << result;
    Quit(*sim);

    // The window is gone: every send fails at once with a last error, 12.
    std::int32_t value = 0;
    ASSERT_TRUE(link.LinkRead(0x3304, 4, &value, result));
    EXPECT_FALSE(link.LinkProcess(result));
    EXPECT_EQ(result, 12);
    EXPECT_EQ(value, 0);
    link.LinkClose();
}

TEST_F(WineEndToEnd, LateAnswerIsAPlainTimeOutWithoutLastError) {
    // The link tells a time-out (11) from a failed send (12) by the last
    // error alone; Windows reports a time-out as ERROR_TIMEOUT, which the
    // transport must give back as 0.
    auto sim = StartSim("--late 1500");
    ASSERT_NE(sim, nullptr);
    auto transport = skyfault::link::MakePlatformTransport();
    const std::uintptr_t window = transport->FindServerWindow("UIPCMAIN");
    ASSERT_NE(window, 0u);
    const std::uint32_t message = transport->RegisterMessage("FSASMLIB:IPC");
    ASSERT_NE(message, 0u);
    const std::string name = skyfault::link::BlockName(transport->CurrentProcessId());
    const std::uint16_t atom = transport->AddAtom(name);
    ASSERT_NE(atom, 0);
    bool existed = true;
    const std::uintptr_t mapping = transport->CreateMapping(name, 32768, existed);
    ASSERT_NE(mapping, 0u);
    EXPECT_FALSE(existed);
    std::uint8_t* view = transport->MapView(mapping);
    ASSERT_NE(view, nullptr);

    std::uint32_t answer = 7;
    std::uint32_t lastError = 7;
    EXPECT_FALSE(transport->SendMessageTimeout(window, message, static_cast<std::int16_t>(atom), 0,
                                               200, answer, lastError));
    EXPECT_EQ(lastError, 0u);

    // A second mapping under the same name is refused, and nothing is held.
    bool existedAgain = false;
    EXPECT_EQ(transport->CreateMapping(name, 32768, existedAgain), 0u);
    EXPECT_TRUE(existedAgain);

    transport->UnmapView(view);
    transport->CloseMapping(mapping);
    transport->DeleteAtom(atom);
    Quit(*sim);
}

TEST_F(WineEndToEnd, LinkcheckTalksToTheStandIn) {
    const std::string linkcheck = BuiltProgram("skyfault-linkcheck.exe");
    if (!FileExists(linkcheck)) {
        GTEST_SKIP() << linkcheck << " is not built";
    }
    auto sim = StartSim("");
    ASSERT_NE(sim, nullptr);
    ChildProcess check;
    std::string error;
    ASSERT_TRUE(check.Start("\"" + linkcheck + "\" read 0x3304 4 write 0x0B71 1 1", error))
        << error;
    EXPECT_EQ(check.Finish(30000), 0u) << check.Text();
    EXPECT_EQ(sim->WaitForLine("write 0x0B71", 10s), "write 0x0B71 1 01") << sim->Text();
    Quit(*sim);
}

}  // namespace
