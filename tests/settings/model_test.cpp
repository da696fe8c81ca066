#include "settings/model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "settings/catalogue.h"

namespace skyfault {
namespace {

TEST(Catalogue, CaptionsGroupsAndKeys) {
    const auto& catalogue = Catalogue();
    EXPECT_EQ(catalogue[0].caption, "ADF");
    EXPECT_EQ(catalogue[4].caption, "COM radio");
    EXPECT_EQ(catalogue[10].caption, "NAV radios");
    EXPECT_EQ(catalogue[15].caption, "Vertical Speed Indicator");
    EXPECT_EQ(catalogue[18].caption, "Engine 3");
    EXPECT_EQ(catalogue[23].caption, "Center Tank");
    EXPECT_EQ(catalogue[24].caption, "Flaps");
    EXPECT_EQ(GroupCaption(catalogue[21].group), "Fuel Leak");
    EXPECT_EQ(GroupCaption(catalogue[11].group), "Miscellaneous");
    EXPECT_EQ(GroupCaption(catalogue[14].group), "Systems");
    EXPECT_EQ(GroupCaption(catalogue[16].group), "Engines");
    EXPECT_EQ(GroupCaption(catalogue[12].group), "Radios");
    EXPECT_EQ(GroupCaption(catalogue[1].group), "Instruments");

    EXPECT_EQ(ConfigKey("Vertical Speed Indicator"), "VerticalSpeedIndicator");
    EXPECT_EQ(ConfigKey(" a  b "), "ab");
    EXPECT_EQ(ConfigKey("a\tb"), "a\tb");  // only the blank is removed

    std::set<std::string> keys;
    for (const auto& system : catalogue) {
        keys.insert(ConfigKey(system.caption));
    }
    EXPECT_EQ(keys.size(), static_cast<std::size_t>(kSystemCount));
}

TEST(Catalogue, GroupSizes) {
    const auto& catalogue = Catalogue();
    auto count = [&](Group group) {
        return std::count_if(catalogue.begin(), catalogue.end(),
                             [&](const SystemInfo& s) { return s.group == group; });
    };
    EXPECT_EQ(count(Group::Instruments), 9);
    EXPECT_EQ(count(Group::Radios), 4);
    EXPECT_EQ(count(Group::Systems), 2);
    EXPECT_EQ(count(Group::Engines), 4);
    EXPECT_EQ(count(Group::FuelLeak), 3);
    EXPECT_EQ(count(Group::Miscellaneous), 3);
}

TEST(Model, StoredDefaultsAndInitialState) {
    const Settings settings;
    EXPECT_EQ(settings.rateDenominator, "1000");
    EXPECT_EQ(settings.checkInterval, "60");
    EXPECT_TRUE(settings.activated);
    EXPECT_FALSE(settings.audioNotify);
    EXPECT_FALSE(settings.visualNotify);
    EXPECT_EQ(settings.audioBox, 1);
    EXPECT_EQ(settings.textBox, 1);
    EXPECT_EQ(settings.fuelLeakSpeed, 0);
    EXPECT_EQ(settings.fuelLeakOption, 1);
    EXPECT_EQ(settings.pauseWithSim, 0);
    EXPECT_EQ(settings.defaultSound, "");
    for (int a : settings.allowed) {
        EXPECT_EQ(a, 1);
    }
    for (int slot = 0; slot < kSlotCount; ++slot) {
        EXPECT_EQ(settings.systemStr[slot], "");
        EXPECT_EQ(settings.soundFiles[slot], "Undefined");
    }
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
