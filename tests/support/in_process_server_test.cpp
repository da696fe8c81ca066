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

TEST(InProcessServerTest, TimeoutsFailuresAndWrongWindow) {
    InProcessServer server;
    Client client(server);
    client.block.AppendRead(0x3304, 4, 1);
    server.SetTimeoutsBeforeSuccess(2);
    std::uint32_t answer = 0;
    std::uint32_t lastError = 0;
    EXPECT_FALSE(client.Send(answer, lastError));
    EXPECT_EQ(lastError, 0u);
    EXPECT_FALSE(client.Send(answer, lastError));
    EXPECT_TRUE(client.Send(answer, lastError));
    EXPECT_EQ(server.Sends(), 3);
    EXPECT_EQ(server.AnsweredSends(), 1);

    server.SetSendFailure(5, 1);
    EXPECT_FALSE(client.Send(answer, lastError));
    EXPECT_EQ(lastError, 5u);
    EXPECT_TRUE(client.Send(answer, lastError));

    server.SetWindowClass("");
    EXPECT_EQ(server.FindServerWindow(kFsuipcClass), 0u);
    EXPECT_FALSE(client.Send(answer, lastError));
    EXPECT_EQ(lastError, kInvalidWindowError);
}

TEST(InProcessServerTest, WideClientClassOnly) {
    InProcessServer server;
    server.SetWindowClass(kWideClientClass);
    EXPECT_EQ(server.FindServerWindow(kFsuipcClass), 0u);
    EXPECT_NE(server.FindServerWindow(kWideClientClass), 0u);
    EXPECT_EQ(server.WindowQueries(), (std::vector<std::string>{"UIPCMAIN", "FS98MAIN"}));
}

TEST(InProcessServerTest, OtherAnswersLeaveTheBlockAlone) {
    InProcessServer server;
    Client client(server);
    client.block.AppendRead(0x3304, 4, 1);
    server.SetAnswer(0);
    std::uint32_t answer = 1;
    std::uint32_t lastError = 0;
    EXPECT_TRUE(client.Send(answer, lastError));
    EXPECT_EQ(answer, 0u);
    EXPECT_EQ(link::GetLe32(client.block.Data() + 16), 0u);
    EXPECT_TRUE(server.Log().empty());

    // An unknown message is answered 0 by the window, the block untouched.
    server.SetAnswer(1);
    client.block.AppendRead(0x3304, 4, 1);
    client.block.Terminate();
    EXPECT_TRUE(server.SendMessageTimeout(client.window, client.message + 1, client.atom, 0, 2000,
                                          answer, lastError));
    EXPECT_EQ(answer, 0u);
    EXPECT_TRUE(server.Log().empty());
}

TEST(InProcessServerTest, ReplyHookAndVersions) {
    InProcessServer server;
    server.SetWrongVersion();
    EXPECT_NE(server.Space().ReadU32(0x3308) >> 16, 0xFADEu);
    server.SetFsuipcVersion(0x19980004);
    EXPECT_EQ(server.Space().ReadU32(0x3304), 0x19980004u);

    Client client(server);
    client.block.AppendRead(0x3304, 4, 1);
    server.SetReplyHook([](std::uint8_t* block) { link::PutLe32(block, 9); });
    std::uint32_t answer = 0;
    std::uint32_t lastError = 0;
    EXPECT_TRUE(client.Send(answer, lastError));
    EXPECT_EQ(link::GetLe32(client.block.Data()), 9u);
}

TEST(InProcessServerTest, CountsAcquiredAndReleased) {
    InProcessServer server;
    {
        Client client(server);
        EXPECT_EQ(server.LiveAtoms(), 1);
        EXPECT_EQ(server.LiveMappings(), 1);
        EXPECT_EQ(server.LiveViews(), 1);
        bool existed = false;
        const std::uintptr_t again =
            server.CreateMapping("FSASMLIB:IPC:1A4:1", link::kBlockSize, existed);
        EXPECT_TRUE(existed);
        server.CloseMapping(again);
        server.UnmapView(client.block.Data());
        server.CloseMapping(client.mapping);
        server.DeleteAtom(client.atom);
    }
    EXPECT_EQ(server.LiveAtoms(), 0);
    EXPECT_EQ(server.LiveMappings(), 0);
    EXPECT_EQ(server.LiveViews(), 0);
    EXPECT_EQ(server.AtomsAdded(), server.AtomsDeleted());
    EXPECT_EQ(server.MappingsCreated(), 2);
    EXPECT_EQ(server.MappingsClosed(), 2);

    server.Sleep(100);
    server.Sleep(100);
    EXPECT_EQ(server.Sleeps(), 2);
    EXPECT_EQ(server.SleptMilliseconds(), 200u);

    server.FailAddAtom();
    EXPECT_EQ(server.AddAtom("x"), 0);
    server.FailRegisterMessage();
    EXPECT_EQ(server.RegisterMessage("FSASMLIB:IPC"), 0u);
    server.FailCreateMapping();
    bool existed = false;
    EXPECT_EQ(server.CreateMapping("y", link::kBlockSize, existed), 0u);
}

}  // namespace
}  // namespace skyfault::test_support
