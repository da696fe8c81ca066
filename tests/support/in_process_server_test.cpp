// The in-process server used by the link and engine tests: it must behave
// like a real server, or those tests prove nothing.
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

TEST(InProcessServerTest, ProcessesTheBlockAndLogsInOrder) {
    InProcessServer server;
    Client client(server);
    ASSERT_NE(client.window, 0u);
    ASSERT_NE(client.block.Data(), nullptr);
    client.block.AppendRead(0x3304, 4, 1);
    const std::uint8_t one = 1;
    client.block.AppendWrite(0x0B71, 1, &one);
    client.block.AppendRead(0x0B71, 1, 2);
    std::uint32_t answer = 0;
    std::uint32_t lastError = 7;
    ASSERT_TRUE(client.Send(answer, lastError));
    EXPECT_EQ(answer, 1u);
    EXPECT_EQ(link::GetLe32(client.block.Data() + 16), sim::kDefaultFsuipcVersion);

    ASSERT_EQ(server.Log().size(), 3u);
    EXPECT_EQ(server.Log()[0].kind, Access::Kind::kRead);
    EXPECT_EQ(server.Log()[0].offset, 0x3304u);
    EXPECT_EQ(server.Log()[1].kind, Access::Kind::kWrite);
    EXPECT_EQ(server.Log()[1].bytes, std::vector<std::uint8_t>{1});
    EXPECT_EQ(server.Log()[2].bytes, std::vector<std::uint8_t>{1});  // sees the write
    EXPECT_EQ(server.Reads().size(), 2u);
    EXPECT_EQ(server.Writes().size(), 1u);
    EXPECT_EQ(server.Sends(), 1);
    EXPECT_EQ(server.Space().ReadU16(0x0B71) & 0xFF, 1);
}

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
