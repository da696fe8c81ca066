// The in-process server used by the link and engine tests: it must behave
// like a real server, or those tests prove nothing. Its processing and log
// are proven by every engine test that reads them back.
#include "tests/support/in_process_server.h"

#include <gtest/gtest.h>

#include "link/codec.h"

namespace skyfault::test_support {
namespace {

// Opens a block the way the link does and hands it over.
struct Client {
    explicit Client(InProcessServer& s) : server(s) {
        window = server.FindServerWindow(kFsuipcClass);
        message = server.RegisterMessage("FSASMLIB:IPC");
        atom = server.AddAtom("FSASMLIB:IPC:1A4:1");
        bool existed = false;
        mapping = server.CreateMapping("FSASMLIB:IPC:1A4:1", link::kBlockSize, existed);
        block.Attach(server.MapView(mapping));
    }
    bool Send(std::uint32_t& answer, std::uint32_t& lastError) {
        sent = block.Terminate();
        return server.SendMessageTimeout(window, message, static_cast<std::int16_t>(atom), 0, 2000,
                                         answer, lastError);
    }
    InProcessServer& server;
    std::uintptr_t window = 0;
    std::uint32_t message = 0;
    std::uint16_t atom = 0;
    std::uintptr_t mapping = 0;
    link::RequestBlock block;
    std::vector<link::QueuedRecord> sent;
};

// What the link's tests cannot show: refusals of a real window, which the
// link never provokes.
TEST(InProcessServerTest, RefusesAsARealServerWould) {
    InProcessServer server;
    Client client(server);
    client.block.AppendRead(0x3304, 4, 1);
    client.block.Terminate();
    std::uint32_t answer = 1;
    std::uint32_t lastError = 0;
    // An unknown message is answered 0 by the window, the block untouched.
    EXPECT_TRUE(server.SendMessageTimeout(client.window, client.message + 1, client.atom, 0, 2000,
                                          answer, lastError));
    EXPECT_EQ(answer, 0u);
    EXPECT_TRUE(server.Log().empty());
    // A second mapping of the same name existed before.
    bool existed = false;
    server.CloseMapping(server.CreateMapping("FSASMLIB:IPC:1A4:1", link::kBlockSize, existed));
    EXPECT_TRUE(existed);
    // A window that went away.
    server.SetWindowClass("");
    EXPECT_FALSE(client.Send(answer, lastError));
    EXPECT_EQ(lastError, kInvalidWindowError);
}

}  // namespace
}  // namespace skyfault::test_support
