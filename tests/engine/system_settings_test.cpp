// The System settings dialog's model over a running engine: the list of
// systems, storing and showing a system, Default, OK, Cancel and Browse.

#include <algorithm>
#include <cctype>
#include <string>

#include "engine/system_settings.h"
#include "tests/support/engine_fixture.h"

namespace skyfault::engine::testing {
namespace {

// List positions of a few entries.
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

TEST_F(SystemSettingsTest, EntriesFindTheirSystemByCaption) {
    Start();
    Open();
    const auto& entries = SystemListEntries();
    for (int position = 0; position < kSystemCount; ++position) {
        dialog->cmbSystem_Click(position);
        EXPECT_EQ(Catalogue()[dialog->itemID()].caption, entries[position]);
    }
    dialog->cmbSystem_Click(kPitot);
    EXPECT_EQ(dialog->itemID(), 11);
}

// Widget-level tests cover showing, storing, Default, OK and Cancel; these
// cover the odd texts on the model, which also runs under Wine.
TEST_F(SystemSettingsTest, EmptyListsCommasAndACancelledBrowse) {
    WriteConfig("[Systems]\r\nADFStr=\r\n");
    Start();
    Open();
    EXPECT_EQ(dialog->form().txtSystemRate, "");
    EXPECT_EQ(dialog->form().txtEndAlt, "");
    dialog->cmdSoundBrowse_Click("/s/one.wav");
    dialog->cmdSoundBrowse_Click("");
    EXPECT_EQ(dialog->form().txtSystemSound, "/s/one.wav");
    dialog->cmdOKSystemSettings_Click();
    EXPECT_EQ(settings().systemStr[0], ",,,,,,,C");

    dialog->Show();
    Type(SystemBox::SystemRate, "1,5");  // a comma becomes a field separator
    dialog->cmdOKSystemSettings_Click();
    EXPECT_EQ(settings().systemStr[0], "1,5,,,,,,,C");
    dialog->Show();
    EXPECT_EQ(dialog->form().txtSystemRate, "1");
    EXPECT_EQ(dialog->form().txtBegIAS, "5");
}

}  // namespace
}  // namespace skyfault::engine::testing
