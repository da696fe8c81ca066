#include "sim/console.h"

#include <gtest/gtest.h>

namespace skyfault::sim {
namespace {

TEST(ConsoleTest, SetAndGetNamedValuesInTheirUnits) {
    OffsetSpace space;
    EXPECT_EQ(RunCommand("get ias", space).output, "ias 120");
    EXPECT_TRUE(RunCommand("set ias 150.5", space).error.empty());
    EXPECT_EQ(space.ReadU32(0x02BC), 19264u);  // 150.5 * 128
    EXPECT_EQ(RunCommand("get ias", space).output, "ias 150.5");

    RunCommand("set oat -1", space);
    EXPECT_EQ(space.ReadU16(0x0E8C), 0xFF00);
    EXPECT_EQ(RunCommand("get oat", space).output, "oat -1");

    RunCommand("set pause 1", space);
    EXPECT_EQ(space.ReadU16(0x0264), 1);
    RunCommand("set ground 65535", space);
    EXPECT_EQ(space.ReadU16(0x0B4C), 65535);

    RunCommand("set tank-left 100", space);
    RunCommand("set tank-right 0", space);
    RunCommand("set tank-center 50", space);
    EXPECT_EQ(space.ReadU32(0x0B7C), 100u * 128u * 65536u);
    EXPECT_EQ(space.ReadU32(0x0B94), 0u);
    EXPECT_EQ(space.ReadU32(0x0B74), 50u * 128u * 65536u);
    EXPECT_EQ(RunCommand("get tank-center", space).output, "tank-center 50");

    RunCommand("set gear 0", space);
    RunCommand("set flaps 0x1FFF", space);
    EXPECT_EQ(space.ReadU32(0x0BE8), 0u);
    EXPECT_EQ(space.ReadU32(0x0BDC), 0x1FFFu);
    RunCommand("set gear -5", space);
    EXPECT_EQ(RunCommand("get gear", space).output, "gear -5");
}

TEST(ConsoleTest, PokeAndPeekByOffset) {
    OffsetSpace space;
    EXPECT_TRUE(RunCommand("poke 0x0B71 1 1", space).error.empty());
    EXPECT_EQ(RunCommand("peek 0x0B71 1", space).output, "peek 0x0B71 1 01 1");
    RunCommand("poke 2000 4 0x11223344", space);
    EXPECT_EQ(RunCommand("peek 0x07D0 4", space).output, "peek 0x07D0 4 44332211 287454020");
    RunCommand("poke 0x0E8C 2 -256", space);
    EXPECT_EQ(space.ReadU16(0x0E8C), 0xFF00);
    EXPECT_EQ(RunCommand("peek 0xFFFF 1", space).output, "peek 0xFFFF 1 00 0");
}

TEST(ConsoleTest, BadCommandsExplainAndChangeNothing) {
    OffsetSpace space;
    const OffsetSpace before = space;
    const char* bad[] = {
        "fly",
        "set",
        "set ias",
        "set speed 10",
        "set ias fast",
        "set ias 10x",
        "set tank-left 101",
        "set oat 200",
        "set gear 1.5",
        "set pause -1",
        "get",
        "get nothing",
        "poke 0x10000 1 1",
        "poke 0xFFFF 2 1",
        "poke 0 0 1",
        "poke 0 9 1",
        "poke 0 1 256",
        "poke 0 1 -129",
        "poke 0 1 zz",
        "peek 0x10 0",
        "peek 0x10 257",
        "peek -1 1",
        "quit now",
    };
    for (const char* line : bad) {
        const CommandOutcome outcome = RunCommand(line, space);
        EXPECT_FALSE(outcome.error.empty()) << line;
        EXPECT_TRUE(outcome.output.empty()) << line;
        EXPECT_FALSE(outcome.quit) << line;
    }
    for (std::uint32_t o = 0; o < 0x10000; o += 4) {
        ASSERT_EQ(space.ReadU32(o), before.ReadU32(o)) << o;
    }
}

TEST(ConsoleTest, QuitBlankAndComments) {
    OffsetSpace space;
    EXPECT_TRUE(RunCommand("quit", space).quit);
    EXPECT_TRUE(RunCommand("  quit\r", space).quit);
    const CommandOutcome blank = RunCommand("   ", space);
    EXPECT_TRUE(blank.output.empty() && blank.error.empty() && !blank.quit);
    const CommandOutcome comment = RunCommand("# set ias 0", space);
    EXPECT_TRUE(comment.error.empty());
    EXPECT_EQ(space.ReadU32(0x02BC), 120u * 128u);
    EXPECT_NE(RunCommand("help", space).output.find("tank-center"), std::string::npos);
}

TEST(ConsoleTest, WriteLines) {
    EXPECT_EQ(FormatWrite({0x0B71, {0x01}}), "write 0x0B71 1 01");
    EXPECT_EQ(FormatWrite({0x0BE8, {0xFF, 0x3F, 0x00, 0x00}}), "write 0x0BE8 4 FF3F0000");
    EXPECT_EQ(FormatWrite({0x0B64, {}}), "write 0x0B64 0 ");
}

TEST(ConsoleTest, Integers) {
    std::int64_t v = 0;
    EXPECT_TRUE(ParseInteger("0x0BAC", v));
    EXPECT_EQ(v, 0x0BAC);
    EXPECT_TRUE(ParseInteger("-12", v));
    EXPECT_EQ(v, -12);
    EXPECT_FALSE(ParseInteger("0x", v));
    EXPECT_FALSE(ParseInteger("", v));
    EXPECT_FALSE(ParseInteger("12a", v));
    EXPECT_FALSE(ParseInteger("99999999999999999999999", v));
}

}  // namespace
}  // namespace skyfault::sim
