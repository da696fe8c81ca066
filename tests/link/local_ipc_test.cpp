#include "link/local_ipc.h"

#include <gtest/gtest.h>

#include <string>

namespace skyfault::link::local {
namespace {

TEST(LocalFramesTest, RequestFrameLayout) {
    const auto bytes = EncodeRequest({0x01020304, 0xFB60, -16383, 0, "FSASMLIB:IPC:1A4:1"});
    const std::string expectedName = std::string("FSASMLIB:IPC:1A4:1") + '\0' + "     ";
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "SKF1");
    EXPECT_EQ(bytes[4], 0x04);
    EXPECT_EQ(bytes[7], 0x01);
    EXPECT_EQ(bytes[8], 0x60);
    EXPECT_EQ(bytes[9], 0xFB);
    EXPECT_EQ(bytes[12], 0x01);
    EXPECT_EQ(bytes[13], 0xC0);
    EXPECT_EQ(bytes[14], 0xFF);
    EXPECT_EQ(bytes[15], 0xFF);
    EXPECT_EQ(std::string(bytes.begin() + 16, bytes.begin() + 20), std::string(4, '\0'));
    EXPECT_EQ(std::string(bytes.begin() + 20, bytes.end()), expectedName);
}

TEST(LocalFramesTest, RequestRoundTripAndRefusals) {
    const RequestFrame frame{7, 0xC123, 0x1234, 0, "FSASMLIB:IPC:FFFFFFFF:1"};
    auto bytes = EncodeRequest(frame);
    const auto decoded = DecodeRequest(bytes.data());
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->sequence, 7u);
    EXPECT_EQ(decoded->message, 0xC123u);
    EXPECT_EQ(decoded->wParam, 0x1234);
    EXPECT_EQ(decoded->name, "FSASMLIB:IPC:FFFFFFFF:1");
    EXPECT_EQ(bytes[43], 0) << "a 23-character name leaves room for its NUL only";

    auto noNul = bytes;
    noNul[43] = ' ';
    EXPECT_FALSE(DecodeRequest(noNul.data()).has_value());
    auto badMagic = bytes;
    badMagic[3] = '2';
    EXPECT_FALSE(DecodeRequest(badMagic.data()).has_value());

    // A name too long for the field is cut, never written past it.
    const auto cut = EncodeRequest({1, 1, 1, 0, std::string(40, 'X')});
    EXPECT_EQ(DecodeRequest(cut.data())->name, std::string(23, 'X'));
}

TEST(LocalFramesTest, ReplyRoundTrip) {
    const auto bytes = EncodeReply({0xA0B0C0D0, 1});
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "SKF1");
    EXPECT_EQ(bytes[4], 0xD0);
    EXPECT_EQ(bytes[8], 1);
    const auto decoded = DecodeReply(bytes.data());
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->sequence, 0xA0B0C0D0u);
    EXPECT_EQ(decoded->answer, 1u);
    auto bad = bytes;
    bad[0] = 's';
    EXPECT_FALSE(DecodeReply(bad.data()).has_value());
}

TEST(MessageNumberTest, FnvOfTheUpperCasedNameInTheUpperRange) {
    // Worked out independently with FNV-1a-32: 0x0EE9BB60 mod 0x4000 = 0x3B60.
    EXPECT_EQ(MessageNumber("FSASMLIB:IPC"), 0xFB60u);
    EXPECT_EQ(MessageNumber("fsasmlib:ipc"), 0xFB60u);
    EXPECT_EQ(MessageNumber(""), 0xC000u + (2166136261u % 0x4000u));
    EXPECT_NE(MessageNumber("FSASMLIB:IPD"), MessageNumber("FSASMLIB:IPC"));
}

TEST(BlockNameFormTest, AcceptsOnlyTheProtocolsNames) {
    EXPECT_TRUE(IsValidBlockName("FSASMLIB:IPC:1A4:1"));
    EXPECT_TRUE(IsValidBlockName("FSASMLIB:IPC:0:1"));
    EXPECT_TRUE(IsValidBlockName("FSASMLIB:IPC:FFFFFFFF:1"));
    for (const char* name :
         {"", "FSASMLIB:IPC::1", "FSASMLIB:IPC:1a4:1", "FSASMLIB:IPC:1A4:2",
          "FSASMLIB:IPC:123456789:1", "FSASMLIB:IPC:../x:1", "fsasmlib:ipc:1A4:1",
          "FSASMLIB:IPC:1A4:1 ", "FSASMLIB:IPC:1G:1", "/FSASMLIB:IPC:1A4:1"}) {
        EXPECT_FALSE(IsValidBlockName(name)) << name;
    }
}

}  // namespace
}  // namespace skyfault::link::local
