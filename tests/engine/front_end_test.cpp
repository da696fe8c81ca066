// What both front-ends take from the engine instead of writing it: the
// click on a main window check box, the check state of a box value, and
// which dialog window exists or is shown when.

#include <string>
#include <vector>

#include "engine/front_end.h"
#include "tests/support/engine_fixture.h"

namespace skyfault::engine::testing {
namespace {

TEST_F(EngineTest, ACheckBoxClickTicksAnUntickedBoxAndClearsATickedOrGreyedOne) {
    WriteConfig("[Failures]\r\nADF=0\r\nAltimeter=1\r\nCompass=2\r\n");
    Start();
    const auto& allowed = state().settings.allowed;
    ASSERT_EQ(CheckStateOf(allowed[0]), CheckState::Unchecked);
    ASSERT_EQ(CheckStateOf(allowed[2]), CheckState::Checked);
    ASSERT_EQ(CheckStateOf(allowed[5]), CheckState::Greyed);

    struct Case {
        int systemId;
        int after;
    };
    for (const Case c : {Case{0, 1}, Case{2, 0}, Case{5, 0}, Case{5, 1}}) {
        const int before = changes;
        chkFailureType_Click(*engine, c.systemId);
        EXPECT_EQ(allowed[c.systemId], c.after) << c.systemId;
        EXPECT_GT(changes, before) << "the window is told to redraw";
    }
    // Clicks on boxes that do not exist change nothing.
    const auto kept = allowed;
    chkFailureType_Click(*engine, -1);
    chkFailureType_Click(*engine, kSystemCount);
    EXPECT_EQ(allowed, kept);
    // A value the file cannot give still shows as ticked and clears.
    EXPECT_EQ(CheckStateOf(7), CheckState::Checked);
    EXPECT_EQ(ClickedBoxValue(7), 0);
}

TEST(DialogLifecycleTest, EachDialogIsMadeShownHiddenAndDestroyedAsTheProgramDoes) {
    enum class Step { Show, Ok, Cancel };
    struct Expected {
        Step step;
        bool windowMadeOrDestroyed;  // Show: made first; Ok/Cancel: destroyed
        DialogPresence after;
    };
    using P = DialogPresence;
    struct Case {
        DialogId dialog;
        DialogPresence atStart;
        std::vector<Expected> steps;
    };
    const Case cases[] = {
        // Made with the main window, only ever hidden.
        {DialogId::Preferences,
         P::Hidden,
         {{Step::Show, false, P::Shown},
          {Step::Show, false, P::Shown},
          {Step::Ok, false, P::Hidden},
          {Step::Show, false, P::Shown},
          {Step::Cancel, false, P::Hidden}}},
        // Made at its first showing, hidden by OK, destroyed by Cancel.
        {DialogId::SystemSettings,
         P::Unloaded,
         {{Step::Show, true, P::Shown},
          {Step::Show, false, P::Shown},
          {Step::Ok, false, P::Hidden},
          {Step::Show, false, P::Shown},
          {Step::Cancel, true, P::Unloaded},
          {Step::Cancel, false, P::Unloaded},
          {Step::Show, true, P::Shown}}},
        // Loaded on use, unloaded by OK and by its close box.
        {DialogId::About,
         P::Unloaded,
         {{Step::Show, true, P::Shown},
          {Step::Show, false, P::Shown},
          {Step::Ok, true, P::Unloaded},
          {Step::Show, true, P::Shown},
          {Step::Cancel, true, P::Unloaded}}},
    };
    for (const Case& c : cases) {
        DialogLifecycle dialogs;
        EXPECT_EQ(dialogs.Presence(c.dialog), c.atStart);
        int index = 0;
        for (const Expected& e : c.steps) {
            bool result = false;
            switch (e.step) {
                case Step::Show:
                    result = dialogs.Show(c.dialog);
                    break;
                case Step::Ok:
                    result = dialogs.End(c.dialog, DialogEnd::Ok);
                    break;
                case Step::Cancel:
                    result = dialogs.End(c.dialog, DialogEnd::Cancel);
                    break;
            }
            EXPECT_EQ(result, e.windowMadeOrDestroyed)
                << "dialog " << static_cast<int>(c.dialog) << " step " << index;
            EXPECT_EQ(dialogs.Presence(c.dialog), e.after)
                << "dialog " << static_cast<int>(c.dialog) << " step " << index;
            ++index;
        }
    }

    // The main window unloads: every dialog goes, and no other is touched by
    // a dialog's own end.
    DialogLifecycle dialogs;
    static_cast<void>(dialogs.Show(DialogId::SystemSettings));
    static_cast<void>(dialogs.End(DialogId::About, DialogEnd::Ok));
    EXPECT_EQ(dialogs.Presence(DialogId::SystemSettings), P::Shown);
    dialogs.UnloadAll();
    for (DialogId dialog : {DialogId::Preferences, DialogId::SystemSettings, DialogId::About}) {
        EXPECT_EQ(dialogs.Presence(dialog), P::Unloaded);
    }
}

}  // namespace
}  // namespace skyfault::engine::testing
