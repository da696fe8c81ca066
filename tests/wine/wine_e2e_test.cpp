// The Windows transport against skyfault-sim.exe as a process of its own: a
// server that answers late is a plain time-out, without a last error (the
// link's 11), while a server that is gone fails the send with one (its 12)
// and its window is known to be gone; a block's name is taken once.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "link/link.h"
#include "platform/win32.h"

TEST(WineTransport, ALateServerTimesOutWithoutLastErrorAGoneOneWithOne) {
    // Under Wine a process that makes a window while the desktop process still
    // starts gets no display driver: a window of the test's own has it up first.
    CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(FindWindowA("UIPCMAIN", nullptr), nullptr) << "a server window is already there";
    char path[MAX_PATH] = {};
    const std::string self(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    std::string command = "\"" + self.substr(0, self.find_last_of('\\')) +
                          "\\..\\bin\\skyfault-sim.exe\" --late 1500";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION sim{};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &startup, &sim));
    CloseHandle(sim.hThread);
    const auto transport = skyfault::link::MakePlatformTransport();
    std::uintptr_t server = 0;
    for (int i = 0; i < 1000 && (server = transport->FindServerWindow("UIPCMAIN")) == 0; ++i) {
        Sleep(20);
    }
    // A block the server can open: one it cannot is refused at once.
    const std::string name = skyfault::link::BlockName(transport->CurrentProcessId());
    const std::uint16_t atom = transport->AddAtom(name);
    bool existed = false;
    const std::uintptr_t mapping = transport->CreateMapping(name, 32768, existed);
    EXPECT_EQ(transport->CreateMapping(name, 32768, existed), 0u) << "a name is taken once";
    EXPECT_TRUE(existed);
    const std::uint32_t message = transport->RegisterMessage("FSASMLIB:IPC");
    std::uint32_t answer = 7;
    std::uint32_t lastError = 7;
    EXPECT_FALSE(transport->SendMessageTimeout(server, message, atom, 0, 200, answer, lastError));
    EXPECT_EQ(lastError, 0u);
    EXPECT_TRUE(transport->WindowExists(server)) << "late is not gone";
    TerminateProcess(sim.hProcess, 0);
    WaitForSingleObject(sim.hProcess, 10000);
    CloseHandle(sim.hProcess);
    EXPECT_FALSE(transport->SendMessageTimeout(server, message, atom, 0, 200, answer, lastError));
    EXPECT_NE(lastError, 0u);
    EXPECT_FALSE(transport->WindowExists(server));
    // A window of another class that got the handle is not the server's.
    const HWND other =
        CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    EXPECT_FALSE(transport->WindowExists(reinterpret_cast<std::uintptr_t>(other)));
    DestroyWindow(other);
    transport->CloseMapping(mapping);
    transport->DeleteAtom(atom);
}
