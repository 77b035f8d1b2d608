#include <gtest/gtest.h>

#include "tests/unit/app/AppFixture.h"

namespace {

using fakes::FakeButton;
using fakes::FakeEdit;
using fakes::FakeRadioGroup;
using fakes::Kind;

class SettingsWindow : public apptest::Windows {
  protected:
    void open() { ASSERT_TRUE(static_cast<FakeButton&>(*form1->sb).click()); }
    FakeRadioGroup& radio() { return fake<FakeRadioGroup>(form2->RadioGroup1); }
    FakeEdit& edit(const std::unique_ptr<platform::Edit>& e) { return fake<FakeEdit>(e); }
    bool ok() { return fake<FakeButton>(form2->Button1).click(); }
    bool cancel() { return fake<FakeButton>(form2->Button2).click(); }
    bool manualGroupEnabled() { return form2->GroupBox1->enabled(); }
};

TEST_F(SettingsWindow, isBuiltExactlyAsDesigned) {
    start();
    const auto& options = settingsForm().options;
    EXPECT_EQ(options.caption, u"Налаштування з'єднання");
    EXPECT_EQ(options.clientWidth, 273);
    EXPECT_EQ(options.clientHeight, 293);
    EXPECT_EQ(options.borderIcons, platform::BorderIcons::SystemMenuClose);
    EXPECT_EQ(options.placement, platform::Placement::CentreOverFirstShown);
    EXPECT_EQ(options.centreOver, form1->form->handle());
    EXPECT_FALSE(options.ownsTaskbarButton);
    EXPECT_FALSE(settingsForm().record.visible);

    auto top = widgets.childrenOf(*form2->form);
    ASSERT_EQ(top.size(), 4u);
    EXPECT_EQ(top[0]->kind, Kind::RadioGroup);
    EXPECT_EQ(top[0]->caption, u"Налаштування проксі");
    EXPECT_EQ(top[0]->items,
              (std::vector<std::u16string>{
                  u"Без проксі", u"Використовувати системні параметри проксі",
                  u"Ручне налаштування сервісу проксі", u"Автоматичне налаштування"}));
    EXPECT_EQ(top[1]->kind, Kind::GroupBox);
    EXPECT_EQ(top[1]->caption, u"Параметри ручного налаштування");
    EXPECT_EQ(top[1]->bounds.top, 103);
    EXPECT_EQ(top[2]->caption, u"ОК");
    EXPECT_EQ(top[2]->bounds.left, 190);
    EXPECT_EQ(top[3]->caption, u"Скасувати");
    EXPECT_EQ(top[3]->bounds.left, 109);

    auto inside = widgets.childrenOf(*form2->GroupBox1);
    ASSERT_EQ(inside.size(), 8u);
    const std::vector<std::pair<Kind, std::u16string>> kinds = {
        {Kind::Label, u"Адреса:"}, {Kind::Label, u"Порт:"}, {Kind::Label, u"Логін:"},
        {Kind::Label, u"Пароль:"}, {Kind::Edit, u""},       {Kind::SpinEdit, u""},
        {Kind::Edit, u""},         {Kind::Edit, u""}};
    const std::vector<std::pair<int, int>> places = {{14, 23}, {20, 50}, {19, 78}, {14, 105},
                                                     {55, 23}, {55, 50}, {55, 78}, {55, 105}};
    for (std::size_t i = 0; i < inside.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(inside[i]->kind, kinds[i].first);
        EXPECT_EQ(inside[i]->caption, kinds[i].second);
        EXPECT_EQ(inside[i]->bounds.left, places[i].first);
        EXPECT_EQ(inside[i]->bounds.top, places[i].second);
    }
    EXPECT_EQ(inside[5]->bounds.width, 58);
    EXPECT_EQ(inside[5]->bounds.height, 22);
    EXPECT_EQ(form2->SpinEdit1->minValue(), 1);
    EXPECT_EQ(form2->SpinEdit1->maxValue(), 65535);
}

TEST_F(SettingsWindow, openingShowsTheStoredValuesWithTheManualGroupOnlyForManualMode) {
    start({u"u", u"2", u"proxy.local", u"8080", u"user", u"secret"});
    open();
    EXPECT_EQ(radio().itemIndex(), 2);
    EXPECT_EQ(form2->Edit1->text(), u"proxy.local");
    EXPECT_EQ(form2->SpinEdit1->text(), u"8080");
    EXPECT_EQ(form2->Edit2->text(), u"user");
    EXPECT_EQ(form2->Edit3->text(), u"secret");
    EXPECT_TRUE(manualGroupEnabled());

    radio().pick(0);
    EXPECT_FALSE(manualGroupEnabled());
    // The fields keep their contents while the group is disabled.
    EXPECT_EQ(form2->Edit1->text(), u"proxy.local");
    EXPECT_FALSE(fake<FakeEdit>(form2->Edit1).record.effectivelyEnabled());
    radio().pick(2);
    EXPECT_TRUE(fake<FakeEdit>(form2->Edit1).record.effectivelyEnabled());
}

TEST_F(SettingsWindow, okWithoutChangesStoresTheLoadedValuesWithPort0AsOne) {
    start({u"u", u"2", u"proxy.local", u"0", u"user", u"secret"});
    open();
    EXPECT_EQ(form2->SpinEdit1->text(), u"1");
    ASSERT_TRUE(ok());
    EXPECT_EQ(ProxySettings.mode, 2);
    EXPECT_EQ(ProxySettings.host, u"proxy.local");
    EXPECT_EQ(ProxySettings.port, 1);
    EXPECT_EQ(ProxySettings.login, u"user");
    EXPECT_EQ(ProxySettings.password, u"secret");
    EXPECT_FALSE(settingsForm().record.visible);
    EXPECT_TRUE(form1->form->enabled());
}

TEST_F(SettingsWindow, modesOutsideTheItemsSelectNothingOrTheLastItem) {
    start({u"u", u"-1", u"", u"3128"});
    open();
    EXPECT_EQ(radio().itemIndex(), -1);
    EXPECT_FALSE(manualGroupEnabled());
    ASSERT_TRUE(ok());
    EXPECT_EQ(ProxySettings.mode, -1);

    ProxySettings.mode = 7;
    open();
    EXPECT_EQ(radio().itemIndex(), 3);
    EXPECT_FALSE(manualGroupEnabled());
    ASSERT_TRUE(ok());
    EXPECT_EQ(ProxySettings.mode, 3);
}

TEST_F(SettingsWindow, manualModeWithAnEmptyAddressIsRefusedAndTheWindowStaysOpen) {
    start();
    open();
    radio().pick(2);
    edit(form2->Edit2).setText(u"user");
    ASSERT_TRUE(ok());
    ASSERT_EQ(toolkit.messages.size(), 1u);
    EXPECT_EQ(toolkit.messages[0].text, u"Не вказана адреса проксі сервера!");
    EXPECT_EQ(toolkit.messages[0].caption, u"Orvelle Downloader");
    EXPECT_EQ(toolkit.messages[0].owner, form2->form->handle());
    EXPECT_TRUE(settingsForm().record.visible);
    EXPECT_FALSE(form1->form->enabled());
    EXPECT_EQ(ProxySettings.mode, 1);
    EXPECT_EQ(ProxySettings.login, u"");
    // The user's choice is still there to correct.
    EXPECT_EQ(radio().itemIndex(), 2);

    // A blank is an address; another mode needs none.
    edit(form2->Edit1).setText(u" ");
    ASSERT_TRUE(ok());
    EXPECT_EQ(toolkit.messages.size(), 1u);
    EXPECT_EQ(ProxySettings.host, u" ");
    open();
    edit(form2->Edit1).setText(u"");
    radio().pick(0);
    ASSERT_TRUE(ok());
    EXPECT_EQ(toolkit.messages.size(), 1u);
    EXPECT_EQ(ProxySettings.mode, 0);
}

TEST_F(SettingsWindow, manualValuesTypedUnderAnotherModeAreStoredToo) {
    start();
    open();
    radio().pick(2);
    edit(form2->Edit1).setText(u"10.0.0.1");
    fake<fakes::FakeSpinEdit>(form2->SpinEdit1).setText(u"70000");
    edit(form2->Edit2).setText(u"l");
    edit(form2->Edit3).setText(u"p");
    radio().pick(1);
    ASSERT_TRUE(ok());
    EXPECT_EQ(ProxySettings.mode, 1);
    EXPECT_EQ(ProxySettings.host, u"10.0.0.1");
    EXPECT_EQ(ProxySettings.port, 65535);
    EXPECT_EQ(ProxySettings.login, u"l");
    EXPECT_EQ(ProxySettings.password, u"p");
}

TEST_F(SettingsWindow, cancelAndTheCloseBoxStoreNothingAndReopeningShowsTheStoredValues) {
    start();
    for (int path = 0; path < 2; ++path) {
        SCOPED_TRACE(path);
        open();
        radio().pick(2);
        edit(form2->Edit1).setText(u"changed");
        if (path == 0)
            ASSERT_TRUE(cancel());
        else
            settingsForm().closeBox();
        EXPECT_FALSE(settingsForm().record.visible);
        EXPECT_TRUE(form1->form->enabled());
        EXPECT_EQ(ProxySettings.mode, 1);
        EXPECT_EQ(ProxySettings.host, u"");
        open();
        EXPECT_EQ(radio().itemIndex(), 1);
        EXPECT_EQ(form2->Edit1->text(), u"");
        EXPECT_FALSE(manualGroupEnabled());
        ASSERT_TRUE(cancel());
    }
}

TEST_F(SettingsWindow, activationFromAnotherFormReloadsButAMessageBoxDoesNot) {
    start();
    open();
    radio().pick(2);
    ASSERT_TRUE(ok());  // refused: empty address; the fake's message box does not re-activate
    EXPECT_EQ(radio().itemIndex(), 2);
    settingsForm().activateFromAnotherProgram();
    EXPECT_EQ(radio().itemIndex(), 2);
    settingsForm().activateFromAnotherForm();
    EXPECT_EQ(radio().itemIndex(), 1);
}

TEST_F(SettingsWindow, refusesEveryResize) {
    start();
    open();
    EXPECT_FALSE(settingsForm().dragBorderTo(300, 300));
    EXPECT_EQ(settingsForm().record.bounds.width, 273);
}

}  // namespace
