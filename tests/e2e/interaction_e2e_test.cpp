// What the user can do with the open dialog: tick and untick components with
// the mouse, open the About box, and leave.
#include "resources/resource.h"
#include "tests/e2e/scenario.h"

#include <gtest/gtest.h>

namespace e2e_tests {
namespace {

using testing_support::registerComponent;

class Interaction : public UpdaterScenario {
protected:
    std::vector<int> images() {
        std::vector<e2e::ListRow> rows;
        EXPECT_TRUE(app().readRows(rows));
        std::vector<int> out;
        for (const auto& r : rows) out.push_back(r.image);
        return out;
    }

    // Clicks the row and waits until its box shows the other state.
    void clickAndExpect(int row, std::vector<int> expected) {
        const std::vector<int> before = images();
        ASSERT_TRUE(app().clickRow(row)) << "row " << row;
        EXPECT_TRUE(e2e::UpdaterSession::waitUntil([&] { return images() == expected; }, 5000))
            << "after clicking row " << row << " images are " << testing::PrintToString(images()) << ", were "
            << testing::PrintToString(before);
    }
};

TEST_F(Interaction, ClickingRowsFlipsTheirBoxesAndActualizarFollowsTheMarks) {
    registerComponent(kProfessionalKey, "1.6.05", installDir("prof"), "Isis-Access");
    registerComponent(kAdministrationKey, "1.6.08", installDir("adm"), "Isis-Access");
    ASSERT_TRUE(startToDialog().dialogOpen);
    std::vector<e2e::ListRow> before;
    ASSERT_TRUE(app().readRows(before));
    ASSERT_EQ((std::vector<int>{1, 0}), images());
    ASSERT_TRUE(app().controlEnabled(IDOK));

    clickAndExpect(0, {0, 0});
    EXPECT_FALSE(app().controlEnabled(IDOK));
    clickAndExpect(1, {0, 1});
    EXPECT_TRUE(app().controlEnabled(IDOK));
    clickAndExpect(1, {0, 0});
    EXPECT_FALSE(app().controlEnabled(IDOK));
    clickAndExpect(0, {1, 0});
    EXPECT_TRUE(app().controlEnabled(IDOK));

    // Rewriting the box rewrites the label too; nothing else changes.
    std::vector<e2e::ListRow> after;
    ASSERT_TRUE(app().readRows(after));
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(before[i].texts[c], after[i].texts[c]) << "row " << i;
    expectStillRunning();
}

TEST_F(Interaction, ClickBelowTheRowsActsOnTheRowThatHoldsTheSelectionMark) {
    registerComponent(kProfessionalKey, "1.6.05", installDir("prof"), "Isis-Access");
    ASSERT_TRUE(startToDialog().dialogOpen);
    clickAndExpect(0, {0});
    EXPECT_FALSE(app().controlEnabled(IDOK));

    ASSERT_TRUE(app().clickListBelowRows());
    EXPECT_TRUE(e2e::UpdaterSession::waitUntil([&] { return images() == std::vector<int>{1}; }, 5000))
        << testing::PrintToString(images());
    EXPECT_TRUE(app().controlEnabled(IDOK));
}

TEST_F(Interaction, ClicksInAnEmptyListChangeNothing) {
    ASSERT_TRUE(startToDialog().dialogOpen);
    ASSERT_TRUE(app().clickListBelowRows());
    ASSERT_TRUE(app().clickListBelowRows());
    app().settle();
    EXPECT_EQ(0, app().rowCount());
    EXPECT_FALSE(app().controlEnabled(IDOK));
    expectStillRunning();
}

TEST_F(Interaction, KeyboardNavigationInTheListFlipsNoMark) {
    registerComponent(kProfessionalKey, "1.6.05", installDir("prof"), "Isis-Access");
    registerComponent(kAdministrationKey, "1.6.07", installDir("adm"), "Isis-Access");
    ASSERT_TRUE(startToDialog().dialogOpen);
    clickAndExpect(0, {0, 1});  // the list now has the focus
    ASSERT_EQ(0, app().selectionMark());

    // The keys do reach the list: the selection moves, the marks stay.
    ASSERT_TRUE(app().pressKey(VK_DOWN));
    EXPECT_TRUE(e2e::UpdaterSession::waitUntil([&] { return app().selectionMark() == 1; }, 5000))
        << "selection mark " << app().selectionMark();
    ASSERT_TRUE(app().pressKey(VK_SPACE));
    ASSERT_TRUE(app().pressKey(VK_UP));
    EXPECT_TRUE(e2e::UpdaterSession::waitUntil([&] { return app().selectionMark() == 0; }, 5000))
        << "selection mark " << app().selectionMark();
    app().settle();
    EXPECT_EQ((std::vector<int>{0, 1}), images());
    EXPECT_TRUE(app().controlEnabled(IDOK));
    expectStillRunning();
}

TEST_F(Interaction, DisabledActualizarIgnoresClicks) {
    registerComponent(kProfessionalKey, "1.6.08", installDir("prof"), "Isis-Access");
    ASSERT_TRUE(startToDialog().dialogOpen);
    ASSERT_FALSE(app().controlEnabled(IDOK));
    const auto registryBefore = productRegistry();
    ASSERT_TRUE(app().clickControl(IDOK));
    app().settle(500);
    expectStillRunning();
    EXPECT_FALSE(app().progress().visible);
    EXPECT_EQ(registryBefore, productRegistry());
}

TEST_F(Interaction, AboutBoxOpensFromTheSystemMenuAndClosesWithOk) {
    registerComponent(kProfessionalKey, "1.6.05", installDir("prof"), "Isis-Access");
    ASSERT_TRUE(startToDialog().dialogOpen);
    ASSERT_TRUE(app().postSystemCommand(0x0010));
    HWND about = app().waitForAboutBox();
    ASSERT_NE(nullptr, about);
    ASSERT_NE(nullptr, GetDlgItem(about, IDOK));
    EXPECT_EQ("OK", e2e::UpdaterSession::windowText(GetDlgItem(about, IDOK)));
    // It shows the application icon, the updater's icon 128 (this test
    // program carries the same resources).
    HWND iconControl = nullptr;
    for (HWND c = GetWindow(about, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if ((GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) iconControl = c;
    ASSERT_NE(nullptr, iconControl);
    HICON appIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
    double difference = 255.0;
    EXPECT_TRUE(e2e::UpdaterSession::waitUntil(
        [&] { return (difference = e2e::UpdaterSession::iconDifference(iconControl, appIcon)) < 4.0; }, 3000))
        << "differs from icon 128 by " << difference;

    ASSERT_TRUE(app().clickButtonOf(about, IDOK));
    EXPECT_TRUE(e2e::UpdaterSession::waitUntil([&] { return !IsWindow(about); }, 5000));
    EXPECT_NE(nullptr, app().waitForMainWindow(5000));
    std::vector<e2e::ListRow> rows;
    ASSERT_TRUE(app().readRows(rows));
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ(1, rows[0].image);
    expectStillRunning();
}

// The About box is modal: until it is closed, clicks in the main dialog do
// nothing.
TEST_F(Interaction, MainDialogTakesNoInputWhileTheAboutBoxIsOpen) {
    registerComponent(kProfessionalKey, "1.6.05", installDir("prof"), "Isis-Access");
    ASSERT_TRUE(startToDialog().dialogOpen);
    ASSERT_TRUE(app().postSystemCommand(0x0010));
    HWND about = app().waitForAboutBox();
    ASSERT_NE(nullptr, about);
    EXPECT_FALSE(IsWindowEnabled(app().mainWindow())) << "owner of the About box: " << GetWindow(about, GW_OWNER);
    if (app().clickRow(0)) {
        app().settle();
        EXPECT_EQ(std::vector<int>{1}, images()) << "a click in the list went through";
    }
    EXPECT_TRUE(IsWindow(about));
}

TEST_F(Interaction, AboutBoxNamesThisUpdatersVersion) {
    ASSERT_TRUE(startToDialog().dialogOpen);
    ASSERT_TRUE(app().postSystemCommand(0x0010));
    HWND about = app().waitForAboutBox();
    ASSERT_NE(nullptr, about);
    // It names the version this updater installs and the one database system
    // it accepts.
    EXPECT_EQ("VELTRIS5 v1.6 (Isis-Access)", e2e::UpdaterSession::windowText(about));
    std::vector<std::string> texts = e2e::UpdaterSession::staticTexts(about);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ("Update ao VELTRIS5 v1.6.08", texts[0]);
    ASSERT_TRUE(app().pressKey(VK_ESCAPE, about));
    EXPECT_TRUE(e2e::UpdaterSession::waitUntil([&] { return !IsWindow(about); }, 5000));
    expectStillRunning();
}

TEST_F(Interaction, SairEndsTheUpdaterWithoutTouchingAnything) {
    registerComponent(kProfessionalKey, "1.6.05", installDir("prof"), "Isis-Access");
    ASSERT_TRUE(startToDialog().dialogOpen);
    const auto registryBefore = productRegistry();
    ASSERT_TRUE(app().clickControl(IDCANCEL));
    expectEndsByItself();
    EXPECT_TRUE(app().messageBoxes().empty());
    EXPECT_EQ(registryBefore, productRegistry());
}

TEST_F(Interaction, EscapeEndsTheUpdater) {
    registerComponent(kProfessionalKey, "1.6.05", installDir("prof"), "Isis-Access");
    ASSERT_TRUE(startToDialog().dialogOpen);
    ASSERT_TRUE(app().pressKey(VK_ESCAPE));
    expectEndsByItself();
}

TEST_F(Interaction, CloseFromTheSystemMenuEndsTheUpdater) {
    ASSERT_TRUE(startToDialog().dialogOpen);
    ASSERT_TRUE(app().postSystemCommand(SC_CLOSE));
    expectEndsByItself();
}

}  // namespace
}  // namespace e2e_tests
