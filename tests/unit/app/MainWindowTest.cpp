#include <gtest/gtest.h>

#include "tests/unit/app/AppFixture.h"

namespace {

using apptest::Windows;
using fakes::ControlRecord;
using fakes::FakeButton;
using fakes::FakeCheckBox;
using fakes::Kind;

using MainWindow = Windows;

TEST_F(MainWindow, isBuiltExactlyAsDesigned) {
    start();
    const fakes::FakeForm& form = mainForm();
    EXPECT_EQ(form.options.caption, u"Orvelle, Orvelle+ Downloader");
    EXPECT_EQ(form.options.clientWidth, 492);
    EXPECT_EQ(form.options.clientHeight, 106);
    EXPECT_EQ(form.options.borderIcons, platform::BorderIcons::SystemMenuMinimizeClose);
    EXPECT_EQ(form.options.placement, platform::Placement::ScreenCentre);
    EXPECT_TRUE(form.options.ownsTaskbarButton);
    EXPECT_TRUE(form.record.visible);

    struct Expected {
        Kind kind;
        platform::Rect bounds;
        std::u16string caption;
        bool visible;
    };
    const std::vector<Expected> expected = {
        {Kind::Button, {400, 79, 84, 25}, u"Завантажити", true},
        {Kind::Button, {400, 79, 84, 25}, u"Зупинити", false},
        {Kind::SpeedButton, {456, 8, 28, 24}, u"", true},
        {Kind::CheckBox,
         {8, 35, 361, 17},
         u"Встановити також і MySQL (необхідно для роботи програми)",
         true},
        {Kind::Label, {8, 87, 0, 0}, u"", true},
        {Kind::CheckBox, {8, 58, 297, 17}, u"Швидке встановлення з парамерами по замовченню", true},
    };
    const std::vector<ControlRecord*> children = widgets.childrenOf(*form1->form);
    ASSERT_EQ(children.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(children[i]->kind, expected[i].kind);
        EXPECT_EQ(children[i]->bounds.left, expected[i].bounds.left);
        EXPECT_EQ(children[i]->bounds.top, expected[i].bounds.top);
        EXPECT_EQ(children[i]->bounds.width, expected[i].bounds.width);
        EXPECT_EQ(children[i]->bounds.height, expected[i].bounds.height);
        EXPECT_EQ(children[i]->caption, expected[i].caption);
        EXPECT_EQ(children[i]->visible, expected[i].visible);
        EXPECT_TRUE(children[i]->enabled);
    }
    EXPECT_EQ(children[2]->glyphWidth, 20);
    EXPECT_EQ(children[2]->glyphHeight, 19);
    EXPECT_EQ(children[2]->accessibleName, u"Налаштування з'єднання");
    EXPECT_EQ(children[4]->fontHeight, -8);
    EXPECT_TRUE(form1->sql->checked());
    EXPECT_TRUE(form1->silent->checked());
}

TEST_F(MainWindow, withoutArgumentsOrServerTheMysqlOptionIsOfferedAndChecked) {
    start();
    EXPECT_FALSE(UpdateMode);
    EXPECT_TRUE(form1->sql->checked());
    EXPECT_TRUE(form1->sql->enabled());
    EXPECT_TRUE(toolkit.messages.empty());
}

TEST_F(MainWindow, updateModeUnchecksAndDisablesTheMysqlOption) {
    start({u"1"});
    EXPECT_TRUE(UpdateMode);
    EXPECT_FALSE(form1->sql->checked());
    EXPECT_FALSE(form1->sql->enabled());
    EXPECT_EQ(ProxySettings.mode, 1);
    EXPECT_EQ(ProxySettings.port, 3128);
}

TEST_F(MainWindow, aVersion5ServerUnchecksTheMysqlOptionButLeavesItEnabled) {
    start({}, {ProbeOutcome::SupportedServer, u"5.7.44"});
    EXPECT_FALSE(form1->sql->checked());
    EXPECT_TRUE(form1->sql->enabled());
    EXPECT_TRUE(mainForm().record.visible);
    EXPECT_TRUE(exitCodes.empty());
}

TEST_F(MainWindow, anUnsupportedServerEndsStartUpWithTheMessageAndExitCode0) {
    start({}, {ProbeOutcome::UnsupportedServer, u"8.0.36"});
    ASSERT_EQ(toolkit.messages.size(), 1u);
    EXPECT_EQ(toolkit.messages[0].caption, u"Orvelle Downloader");
    EXPECT_EQ(toolkit.messages[0].text,
              u"MySQL 8.0.36 не підтримується!\r\nВстановіть версію 5.0 та вище");
    EXPECT_EQ(exitCodes, std::vector<int>{0});
    EXPECT_FALSE(mainForm().record.visible);
    EXPECT_EQ(form2, nullptr);
}

TEST_F(MainWindow, refusesEveryResize) {
    start();
    EXPECT_FALSE(mainForm().dragBorderTo(600, 200));
    EXPECT_FALSE(mainForm().dragBorderTo(492, 106));
    EXPECT_EQ(mainForm().record.bounds.width, 492);
    EXPECT_EQ(mainForm().record.bounds.height, 106);
}

TEST_F(MainWindow, theStopButtonSetsTheFlagAndCannotBePressedTwice) {
    start();
    // The running state as the run sets it.
    form1->setVisible(RunControl::btn, false);
    form1->setVisible(RunControl::stop, true);
    form1->setEnabled(RunControl::stop, true);
    auto& stop = static_cast<FakeButton&>(*form1->stop);
    EXPECT_TRUE(stop.click());
    EXPECT_TRUE(StopRequested);
    EXPECT_FALSE(form1->stop->enabled());
    StopRequested = false;
    EXPECT_FALSE(stop.click());
    EXPECT_FALSE(StopRequested);
}

TEST_F(MainWindow, theRunReachesEveryControlThroughTheRunWindow) {
    start();
    form1->setVisible(RunControl::sb, false);
    form1->setVisible(RunControl::sql, false);
    form1->setVisible(RunControl::silent, false);
    form1->setStatusText(u"Зачекайте. Триває оновлення...");
    EXPECT_FALSE(form1->sb->visible());
    EXPECT_FALSE(form1->sql->visible());
    EXPECT_FALSE(form1->silent->visible());
    EXPECT_EQ(form1->lpr->text(), u"Зачекайте. Триває оновлення...");
    EXPECT_EQ(form1->statusText(), u"Зачекайте. Триває оновлення...");
    EXPECT_TRUE(form1->isChecked(RunControl::silent));
    form1->sql->setChecked(false);
    EXPECT_FALSE(form1->isChecked(RunControl::sql));

    form1->showMessage(u"Зупинено користувачем.");
    ASSERT_EQ(toolkit.messages.size(), 1u);
    EXPECT_EQ(toolkit.messages[0].caption, u"Orvelle Downloader");
    EXPECT_EQ(toolkit.messages[0].owner, form1->form->handle());
    form1->pumpMessages();
    EXPECT_EQ(toolkit.pumps, 1);
    form1->terminateProgram(0);
    EXPECT_EQ(exitCodes, std::vector<int>{0});
}

TEST_F(MainWindow, theSettingsButtonOpensTheSettingsAndDisablesTheMainWindow) {
    start();
    EXPECT_FALSE(settingsForm().record.visible);
    EXPECT_TRUE(static_cast<FakeButton&>(*form1->sb).click());
    EXPECT_TRUE(settingsForm().record.visible);
    EXPECT_FALSE(form1->form->enabled());
    // No run can start while the main window is disabled.
    EXPECT_FALSE(static_cast<FakeButton&>(*form1->btn).click());
}

TEST_F(MainWindow, closingTheMainWindowEndsTheMessageLoop) {
    start();
    mainForm().closeBox();
    EXPECT_TRUE(toolkit.quitRequested);
    EXPECT_EQ(toolkit.quitCode, 0);
    EXPECT_FALSE(mainForm().record.visible);
}

}  // namespace

namespace {

TEST_F(MainWindow, theProgressBarWaitsHiddenOnTheWindowWithMarqueeAndTaskbarMirroring) {
    start();
    EXPECT_EQ(form1->pb->Parent(), form1->form->handle());
    EXPECT_EQ(form1->pb->Left(), 8);
    EXPECT_EQ(form1->pb->Top(), 8);
    EXPECT_EQ(form1->pb->Width(), 476);
    EXPECT_EQ(form1->pb->Height(), 25);
    EXPECT_FALSE(form1->pb->Visible());
    EXPECT_TRUE(form1->pb->MarqueeEnabled());
    EXPECT_EQ(form1->pb->MarqueeInterval(), 20);
    EXPECT_TRUE(form1->pb->ShowInTaskbar());

    form1->setVisible(RunControl::pb, true);
    form1->setProgressMax(100);
    form1->setProgressState(1);
    form1->setProgressPosition(57);
    EXPECT_TRUE(form1->pb->Visible());
    EXPECT_EQ(form1->progressPosition(), 57);
    EXPECT_EQ(form1->progressMax(), 100);
    EXPECT_EQ(form1->pb->ProgressBarState(), pbstNormal);
}

}  // namespace
