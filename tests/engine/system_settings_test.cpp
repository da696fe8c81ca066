// The System settings dialog's model over a running engine: the list of
// systems, storing and showing a system, Default, OK, Cancel and Browse.

#include <algorithm>
#include <cctype>
#include <string>

#include "engine/system_settings.h"
#include "settings/text.h"
#include "tests/support/engine_fixture.h"

namespace skyfault::engine::testing {
namespace {

constexpr const char* kDefaultList = "1000,0,999,-50,100,-999,99999,D";

// List positions of a few entries.
constexpr int kAdf = 0;
constexpr int kCenterTank = 4;
constexpr int kComRadio = 5;
constexpr int kPitot = 19;

class SystemSettingsTest : public EngineTest {
protected:
    std::unique_ptr<SystemSettings> dialog;

    void Open() { dialog = std::make_unique<SystemSettings>(*engine); }
    Settings& settings() { return engine->settings(); }
    void Type(SystemBox box, const std::string& text) { dialog->SetText(box, text); }
};

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

TEST(SystemListEntries, AreTheCataloguesCaptionsInAlphabeticalOrderIgnoringCase) {
    const auto& entries = SystemListEntries();
    EXPECT_EQ(entries[kCenterTank], "Center Tank");
    EXPECT_EQ(entries[kComRadio], "COM radio");
    for (std::size_t i = 1; i < entries.size(); ++i) {
        EXPECT_LT(Lower(entries[i - 1]), Lower(entries[i])) << entries[i];
    }
    for (const auto& system : Catalogue()) {
        EXPECT_EQ(std::count(entries.begin(), entries.end(), system.caption), 1) << system.caption;
    }
}

TEST_F(SystemSettingsTest, CreationShowsAdfWithoutStoringAnything) {
    WriteConfig(
        "[General]\r\nFrequency=45\r\n[Sounds]\r\nSoundFile0=adf.wav\r\n"
        "[Systems]\r\nADFStr=5\r\nPitotStr=9,1,2,3,4,5,6,C\r\n");
    Start();
    Open();
    EXPECT_TRUE(dialog->visible());
    EXPECT_FALSE(dialog->initialLoad());
    EXPECT_EQ(dialog->form().cmbSystem, kAdf);
    EXPECT_EQ(dialog->itemID(), 0);
    EXPECT_EQ(dialog->form().txtSystemRate, "5");
    EXPECT_EQ(dialog->form().txtBegIAS, "");
    EXPECT_EQ(dialog->form().txtEndAlt, "");
    EXPECT_EQ(dialog->defaultIndicator(), "");
    EXPECT_EQ(dialog->form().txtSystemSound, "adf.wav");
    EXPECT_EQ(dialog->form().lblShowTimePeriod, "every 45 seconds");
    EXPECT_EQ(settings().systemStr[0], "5");  // not rewritten as eight fields
    EXPECT_EQ(dialog->savedSystemStr(), settings().systemStr);
    // Showing it while it is shown changes nothing.
    Type(SystemBox::BegIAS, "9");
    dialog->Show();
    EXPECT_EQ(dialog->form().txtBegIAS, "9");

    dialog->cmbSystem_Click(kPitot);
    EXPECT_EQ(dialog->itemID(), 11);
    const SystemSettingsForm& f = dialog->form();
    EXPECT_EQ(f.txtSystemRate + f.txtBegIAS + f.txtEndIAS + f.txtBegOAT + f.txtEndOAT +
                  f.txtBegAlt + f.txtEndAlt,
              "9123456");
    EXPECT_EQ(dialog->defaultIndicator(), "C");
    EXPECT_EQ(f.txtSystemSound, "<default>");
}

TEST_F(SystemSettingsTest, EntriesFindTheirSystemByCaption) {
    Start();
    Open();
    const auto& entries = SystemListEntries();
    for (int position = 0; position < kSystemCount; ++position) {
        dialog->cmbSystem_Click(position);
        EXPECT_EQ(Catalogue()[dialog->itemID()].caption, entries[position]);
    }
    dialog->cmbSystem_Click(kCenterTank);
    EXPECT_EQ(dialog->itemID(), 23);
    dialog->cmbSystem_Click(kComRadio);
    EXPECT_EQ(dialog->itemID(), 4);
}

TEST_F(SystemSettingsTest, ChangingTheSelectionStoresAtOnceAndCancelPutsTheListsBack) {
    Start();
    Open();
    Type(SystemBox::SystemRate, "77");
    Type(SystemBox::EndOAT, "30");
    Type(SystemBox::SystemSound, "/s/adf.wav");
    dialog->cmbSystem_Click(kPitot);
    EXPECT_EQ(settings().systemStr[0], "77,0,999,-50,30,-999,99999,C");
    EXPECT_EQ(settings().soundFiles[0], "/s/adf.wav");
    Type(SystemBox::SystemRate, "3");  // shown, never stored

    dialog->cmdCancelSystemSettings_Click();
    EXPECT_TRUE(dialog->unloaded());
    EXPECT_FALSE(dialog->visible());
    EXPECT_EQ(settings().systemStr[0], kDefaultList);
    EXPECT_EQ(settings().systemStr[11], kDefaultList);
    // Sounds are not put back.
    EXPECT_EQ(settings().soundFiles[0], "/s/adf.wav");
    EXPECT_FALSE(std::filesystem::exists(configPath));
}

TEST_F(SystemSettingsTest, DefaultShownAsTheSlotStaysUndefinedAndOwnSoundsAreKept) {
    WriteConfig("[Sounds]\r\nSoundFile11=pitot.wav\r\n");
    Start();
    Open();
    ASSERT_EQ(settings().soundFiles[0], "Undefined");
    EXPECT_EQ(dialog->form().txtSystemSound, "<default>");
    dialog->cmbSystem_Click(kPitot);
    EXPECT_EQ(settings().soundFiles[0], "Undefined");
    EXPECT_EQ(dialog->form().txtSystemSound, "pitot.wav");

    // Typing "<default>" over a sound of its own keeps that sound.
    Type(SystemBox::SystemSound, "<default>");
    dialog->cmbSystem_Click(kAdf);
    EXPECT_EQ(settings().soundFiles[11], "pitot.wav");

    // Clearing the box gives an empty path, not "Undefined".
    Type(SystemBox::SystemSound, "");
    dialog->cmbSystem_Click(kPitot);
    EXPECT_EQ(settings().soundFiles[0], "");
}

TEST_F(SystemSettingsTest, TheIndicatorSaysWhetherTheRateIsTheDefaultRate) {
    Start();
    Open();
    for (const auto& [rate, indicator] : std::initializer_list<std::pair<const char*, const char*>>{
             {"1000", "D"}, {"1000.0", "D"}, {" 1 000", "D"}, {"500", "C"}, {"", "C"}}) {
        Type(SystemBox::SystemRate, rate);
        dialog->cmdOKSystemSettings_Click();
        EXPECT_EQ(GetField(settings().systemStr[0], 8), indicator) << rate;
        EXPECT_EQ(dialog->defaultIndicator(), indicator) << rate;
        EXPECT_EQ(GetField(settings().systemStr[0], 1), rate);
        dialog->Show();
    }
}

TEST_F(SystemSettingsTest, DefaultThenOkStoresTheEightDefaultFieldsAndWritesTheFile) {
    WriteConfig(
        "[General]\r\nRate=250\r\n[Sounds]\r\nSoundFile23=tank.wav\r\n"
        "[Systems]\r\nCenterTankStr=4,1,2,3,4,5,6,C\r\n");
    Start();
    Open();
    dialog->cmbSystem_Click(kCenterTank);
    dialog->cmdResetSystemSettings_Click();
    EXPECT_EQ(dialog->defaultIndicator(), "D");
    EXPECT_EQ(dialog->form().txtSystemSound, "tank.wav");
    EXPECT_EQ(settings().systemStr[23], "4,1,2,3,4,5,6,C");  // boxes only, until stored
    dialog->cmdOKSystemSettings_Click();
    EXPECT_FALSE(dialog->visible());
    EXPECT_FALSE(dialog->unloaded());
    EXPECT_EQ(settings().systemStr[23], "250,0,999,-50,100,-999,99999,D");
    EXPECT_NE(ReadFile(configPath).find("CenterTankStr=250,0,999,-50,100,-999,99999,D\r\n"),
              std::string::npos);
}

TEST_F(SystemSettingsTest, AnEmptyListShowsEmptyBoxesAndIsStoredAsSevenEmptyFieldsAndC) {
    WriteConfig("[Systems]\r\nADFStr=\r\n");
    Start();
    Open();
    EXPECT_EQ(dialog->form().txtSystemRate, "");
    EXPECT_EQ(dialog->form().txtEndAlt, "");
    dialog->cmdOKSystemSettings_Click();
    EXPECT_EQ(settings().systemStr[0], ",,,,,,,C");
}

TEST_F(SystemSettingsTest, AShowingAfterOkStartsFromTheTables) {
    Start();
    Open();
    Type(SystemBox::SystemRate, "42");
    dialog->cmdOKSystemSettings_Click();
    ASSERT_EQ(settings().systemStr[0], "42,0,999,-50,100,-999,99999,C");

    // Meanwhile the tables and the interval change elsewhere.
    settings().systemStr[0] = "43,0,999,-50,100,-999,99999,C";
    engine->SetCheckInterval("20", 20000);
    dialog->Show();
    EXPECT_TRUE(dialog->visible());
    EXPECT_EQ(dialog->form().cmbSystem, kAdf);
    EXPECT_EQ(dialog->form().txtSystemRate, "43");
    EXPECT_EQ(dialog->form().lblShowTimePeriod, "every 20 seconds");

    // Cancel now goes back to this showing, not to the creation.
    Type(SystemBox::SystemRate, "44");
    dialog->cmbSystem_Click(kPitot);
    dialog->cmdCancelSystemSettings_Click();
    EXPECT_EQ(settings().systemStr[0], "43,0,999,-50,100,-999,99999,C");
}

TEST_F(SystemSettingsTest, BrowseTakesAChosenPathAndIgnoresACancelledDialog) {
    Start();
    Open();
    dialog->cmdSoundBrowse_Click("/s/one.wav");
    EXPECT_EQ(dialog->form().txtSystemSound, "/s/one.wav");
    dialog->cmdSoundBrowse_Click("");
    EXPECT_EQ(dialog->form().txtSystemSound, "/s/one.wav");
}

TEST_F(SystemSettingsTest, ACommaTypedIntoABoxBecomesAFieldSeparator) {
    Start();
    Open();
    Type(SystemBox::SystemRate, "1,5");
    dialog->cmdOKSystemSettings_Click();
    EXPECT_EQ(settings().systemStr[0], "1,5,0,999,-50,100,-999,99999,C");
    dialog->Show();
    EXPECT_EQ(dialog->form().txtSystemRate, "1");
    EXPECT_EQ(dialog->form().txtBegIAS, "5");
}

}  // namespace
}  // namespace skyfault::engine::testing
