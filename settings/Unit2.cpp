#include "settings/Unit2.h"

#include "settings/ProxySettings.h"

namespace {
constexpr std::int32_t kMinPort = 1;
constexpr std::int32_t kMaxPort = 65535;
}  // namespace

TForm2::TForm2(platform::Widgets& widgets, platform::Control& mainWindow,
               std::function<void(const std::u16string&)> showMessage)
    : mainWindow_(mainWindow), showMessage_(std::move(showMessage)) {
    platform::FormOptions options;
    options.caption = u"Налаштування з'єднання";
    options.clientWidth = 273;
    options.clientHeight = 293;
    options.borderIcons = platform::BorderIcons::SystemMenuClose;
    options.placement = platform::Placement::CentreOverFirstShown;
    options.centreOver = mainWindow.handle();
    form = widgets.createForm(options);

    RadioGroup1 = widgets.createRadioGroup(
        *form, {8, 8, 257, 89}, u"Налаштування проксі",
        {u"Без проксі", u"Використовувати системні параметри проксі",
         u"Ручне налаштування сервісу проксі", u"Автоматичне налаштування"});
    RadioGroup1->setItemIndex(pmSystem);
    GroupBox1 =
        widgets.createGroupBox(*form, {8, 103, 257, 151}, u"Параметри ручного налаштування");
    Label1 = widgets.createLabel(*GroupBox1, 14, 23, u"Адреса:", -11);
    Label2 = widgets.createLabel(*GroupBox1, 20, 50, u"Порт:", -11);
    Label3 = widgets.createLabel(*GroupBox1, 19, 78, u"Логін:", -11);
    Label4 = widgets.createLabel(*GroupBox1, 14, 105, u"Пароль:", -11);
    Edit1 = widgets.createEdit(*GroupBox1, {55, 23, 138, 21});
    SpinEdit1 = widgets.createSpinEdit(*GroupBox1, {55, 50, 58, 22}, kMinPort, kMaxPort);
    SpinEdit1->setValue(3128);
    Edit2 = widgets.createEdit(*GroupBox1, {55, 78, 138, 21});
    Edit3 = widgets.createEdit(*GroupBox1, {55, 105, 138, 21});
    Button1 = widgets.createButton(*form, {190, 260, 75, 25}, u"ОК");
    Button2 = widgets.createButton(*form, {109, 260, 75, 25}, u"Скасувати");

    RadioGroup1->setOnClick([this] { RadioGroup1Click(); });
    Button1->setOnClick([this] { Button1Click(); });
    Button2->setOnClick([this] { Button2Click(); });
    form->setOnActivate([this] { FormActivate(); });
    form->setOnClose([this] { FormClose(); });
    form->setOnCanResize([this](int width, int height) { return FormCanResize(width, height); });
}

void TForm2::FormActivate() {
    // Whatever an earlier, cancelled opening left in the fields is replaced by the stored values.
    const std::int32_t mode = ProxySettings.mode;
    RadioGroup1->setItemIndex(mode < 0 ? -1 : (mode > pmAuto ? pmAuto : mode));
    Edit1->setText(ProxySettings.host);
    SpinEdit1->setValue(ProxySettings.port);
    Edit2->setText(ProxySettings.login);
    Edit3->setText(ProxySettings.password);
    enableManualGroup();
}

void TForm2::RadioGroup1Click() {
    enableManualGroup();
}

void TForm2::Button1Click() {
    if (RadioGroup1->itemIndex() == pmManual && Edit1->text().empty()) {
        showMessage_(u"Не вказана адреса проксі сервера!");
        return;
    }
    ProxySettings.mode = RadioGroup1->itemIndex();
    ProxySettings.host = Edit1->text();
    // The field clamps when it loses focus; clamping here too keeps a value typed without
    // leaving the field inside the range.
    ProxySettings.port = platform::spin::clamp(SpinEdit1->value(), kMinPort, kMaxPort);
    ProxySettings.login = Edit2->text();
    ProxySettings.password = Edit3->text();
    FormClose();
}

void TForm2::Button2Click() {
    FormClose();
}

void TForm2::FormClose() {
    mainWindow_.setEnabled(true);
    form->hide();
}

bool TForm2::FormCanResize(int, int) {
    return false;
}

void TForm2::enableManualGroup() {
    GroupBox1->setEnabled(RadioGroup1->itemIndex() == pmManual);
}
