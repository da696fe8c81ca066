#include "settings/model.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "settings/catalogue.h"

namespace skyfault {
namespace {

TEST(Catalogue, ConfigKeysDropOnlyBlanksAndAreUnique) {
    EXPECT_EQ(ConfigKey("Vertical Speed Indicator"), "VerticalSpeedIndicator");
    EXPECT_EQ(ConfigKey(" a  b "), "ab");
    EXPECT_EQ(ConfigKey("a\tb"), "a\tb");  // only the blank is removed
    std::set<std::string> keys;
    for (const auto& system : Catalogue()) {
        keys.insert(ConfigKey(system.caption));
    }
    EXPECT_EQ(keys.size(), static_cast<std::size_t>(kSystemCount));
}

TEST(Model, FirstStartGivesEverySystemTheDefaultList) {
    const Settings settings = FirstStartSettings();
    for (int id = 0; id < kSystemCount; ++id) {
        EXPECT_EQ(settings.systemStr[id], "1000,0,999,-50,100,-999,99999,D");
    }
    for (int slot = kSystemCount; slot < kSlotCount; ++slot) {
        EXPECT_EQ(settings.systemStr[slot], "");
    }
}

TEST(Model, ListsComposeAndDefault) {
    EXPECT_EQ(DefaultSystemList("250"), "250,0,999,-50,100,-999,99999,D");
    EXPECT_EQ(ComposeList({"1", "", "3", "", "", "", "", "C"}), "1,,3,,,,,C");
}

TEST(Model, ApplyDefaultRate) {
    EXPECT_EQ(ApplyDefaultRate("1000,0,999,-50,100,-999,99999,D", "500"),
              "500,0,999,-50,100,-999,99999,D");
    EXPECT_EQ(ApplyDefaultRate("1000,0,999,-50,100,-999,99999,C", "500"),
              "1000,0,999,-50,100,-999,99999,C");
    EXPECT_EQ(ApplyDefaultRate("7,,,,,,,D", "500"), "500,,,,,,,D");
    EXPECT_EQ(ApplyDefaultRate("7,D", "500"), "7,D");
    EXPECT_EQ(ApplyDefaultRate("", "500"), "");
    EXPECT_EQ(ApplyDefaultRate("7,,,,,,,d", "500"), "7,,,,,,,d");
    EXPECT_EQ(ApplyDefaultRate("7,,,,,,,D ", "500"), "7,,,,,,,D ");
    // Rebuilt lists have exactly eight fields.
    EXPECT_EQ(ApplyDefaultRate("7,1,2,3,4,5,6,D,9,10,11", "500"), "500,1,2,3,4,5,6,D");
}

TEST(Model, ApplyDefaultRateToSystemsTouchesOnlyDefaultLists) {
    Settings settings = FirstStartSettings();
    settings.systemStr[3] = "42,0,999,-50,100,-999,99999,C";
    settings.systemStr[30] = "1,,,,,,,D";  // slots beyond the systems are not lists of a system
    settings.ApplyDefaultRateToSystems("65000");
    EXPECT_EQ(settings.systemStr[0], "65000,0,999,-50,100,-999,99999,D");
    EXPECT_EQ(settings.systemStr[3], "42,0,999,-50,100,-999,99999,C");
    EXPECT_EQ(settings.systemStr[24], "65000,0,999,-50,100,-999,99999,D");
    EXPECT_EQ(settings.systemStr[30], "1,,,,,,,D");
}

}  // namespace
}  // namespace skyfault
