// The Windows transport and the link against skyfault-sim running as a
// process of its own: window classes, the registered message, a global atom
// and a paging-file mapping crossing the process boundary.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "link/link.h"
#include "link/win32.h"

namespace {

bool ServerUp() {
    return FindWindowA("UIPCMAIN", nullptr) != nullptr;
}

void End(HANDLE process) {
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
}
using Sim = std::unique_ptr<void, void (*)(HANDLE)>;

// skyfault-sim.exe from <build>/bin with `options`, up once its server window
// is (at the end of its input it goes on serving); ended with its handle.
Sim StartSim(std::string options) {
    char path[MAX_PATH] = {};
    const std::string self(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    options =
        "\"" + self.substr(0, self.find_last_of('\\')) + "\\..\\bin\\skyfault-sim.exe\" " + options;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    CreateProcessA(nullptr, options.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                   nullptr, &startup, &info);
    CloseHandle(info.hThread);
    for (int i = 0; i < 1000 && info.hProcess != nullptr && !ServerUp(); ++i) {
        Sleep(20);
    }
    return Sim(info.hProcess, End);
}

// Under Wine a process that makes a window while the desktop process still
// starts gets no display driver: a window of the test's own has it up first.
[[maybe_unused]] const HWND kDesktopUp =
    CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);

TEST(WineEndToEnd, ReadsAndWritesAcrossProcessesAndAGoneServerFailsTheExchange) {
    ASSERT_FALSE(ServerUp()) << "a server window is already there";
    Sim sim = StartSim("");
    ASSERT_TRUE(ServerUp());
    auto transport = skyfault::link::MakePlatformTransport();
    skyfault::link::Link link(*transport);
    std::int32_t result = -1;
    ASSERT_TRUE(link.LinkOpen(0, result)) << "result " << result;
    std::int32_t ias = 0;
    std::uint8_t failed = 1;
    std::uint8_t readBack = 0;
    ASSERT_TRUE(link.LinkRead(0x02BC, 4, &ias, result));
    ASSERT_TRUE(link.LinkWrite(0x0B71, 1, &failed, result));
    ASSERT_TRUE(link.LinkRead(0x0B71, 1, &readBack, result));  // after the write
    ASSERT_TRUE(link.LinkProcess(result)) << "result " << result;
    EXPECT_EQ(ias, 120 * 128);
    EXPECT_EQ(readBack, 1);

    // The window is gone: the send fails at once with a last error, 12.
    sim.reset();
    ASSERT_TRUE(link.LinkRead(0x02BC, 4, &ias, result));
    EXPECT_FALSE(link.LinkProcess(result));
    EXPECT_EQ(result, 12);
    link.LinkClose();
}

TEST(WineEndToEnd, LateAnswerIsATimeOutWithoutLastErrorAndABlockNameIsTakenOnce) {
    // The link tells a time-out (11) from a failed send (12) by the last
    // error alone: Windows' ERROR_TIMEOUT must come back as 0.
    const Sim sim = StartSim("--late 1500");
    auto transport = skyfault::link::MakePlatformTransport();
    const std::string name = skyfault::link::BlockName(transport->CurrentProcessId());
    const std::uint16_t atom = transport->AddAtom(name);
    bool existed = true;
    const std::uintptr_t mapping = transport->CreateMapping(name, 32768, existed);
    ASSERT_NE(mapping, 0u);
    EXPECT_FALSE(existed);
    std::uint8_t* view = transport->MapView(mapping);
    std::uint32_t answer = 7;
    std::uint32_t lastError = 7;
    EXPECT_FALSE(transport->SendMessageTimeout(
        transport->FindServerWindow("UIPCMAIN"), transport->RegisterMessage("FSASMLIB:IPC"),
        static_cast<std::int16_t>(atom), 0, 200, answer, lastError));
    EXPECT_EQ(lastError, 0u);
    EXPECT_EQ(transport->CreateMapping(name, 32768, existed), 0u);
    EXPECT_TRUE(existed);
    transport->UnmapView(view);
    transport->CloseMapping(mapping);
    transport->DeleteAtom(atom);
}

}  // namespace
