#include "app/Unit1.h"

#include "run/Run.h"

#include "app/CommandLine.h"
#include "app/SettingsGlyph.h"
#include "settings/ProxySettings.h"
#include "settings/Unit2.h"

TForm1::TForm1(platform::Widgets& widgets, platform::Toolkit& toolkit,
               TForm1Environment environment)
    : toolkit_(toolkit), environment_(std::move(environment)) {
    platform::FormOptions options;
    options.caption = u"Orvelle, Orvelle+ Downloader";
    options.clientWidth = 492;
    options.clientHeight = 106;
    options.borderIcons = platform::BorderIcons::SystemMenuMinimizeClose;
    options.placement = platform::Placement::ScreenCentre;
    options.ownsTaskbarButton = true;
    form = widgets.createForm(options);

    // Declaration order is tab order.
    btn = widgets.createButton(*form, {400, 79, 84, 25}, u"Завантажити");
    stop = widgets.createButton(*form, {400, 79, 84, 25}, u"Зупинити");
    stop->setVisible(false);
    sb = widgets.createSpeedButton(*form, {456, 8, 28, 24}, SettingsGlyph(),
                                   u"Налаштування з'єднання");
    pb = std::make_unique<TtbProgressBar>(form->handle());
    pb->SetBounds(8, 8, 476, 25);
    pb->setVisible(false);
    pb->setMarqueeEnabled(true);
    pb->setMarqueeInterval(20);
    pb->setShowInTaskbar(true);
    sql = widgets.createCheckBox(*form, {8, 35, 361, 17},
                                 u"Встановити також і MySQL (необхідно для роботи програми)");
    sql->setChecked(true);
    lpr = widgets.createLabel(*form, 8, 87, u"", -8);
    silent = widgets.createCheckBox(*form, {8, 58, 297, 17},
                                    u"Швидке встановлення з парамерами по замовченню");
    silent->setChecked(true);

    btn->setOnClick([this] { btnClick(); });
    stop->setOnClick([this] { stopClick(); });
    sb->setOnClick([this] { sbClick(); });
    form->setOnClose([this] { FormClose(); });
    form->setOnCanResize([this](int width, int height) { return FormCanResize(width, height); });

    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::FormCreate() {
    UpdateMode = false;
    ReadCommandLine(environment_.arguments);

    if (environment_.probe) {
        const ProbeResult probe = environment_.probe();
        if (probe.outcome != ProbeOutcome::NoServer) {
            // A server is already there: the MySQL installer is not needed by default.
            sql->setChecked(false);
        }
        if (probe.outcome == ProbeOutcome::UnsupportedServer) {
            toolkit_.showMessage(platform::kNoWindow, kApplicationTitle,
                                 UnsupportedVersionMessage(probe.version));
            terminated = true;
            environment_.terminate(0);
            return;
        }
    }

    if (UpdateMode) {
        // The installed product already has its server; the option is neither offered nor used.
        sql->setChecked(false);
        sql->setEnabled(false);
    }
}

bool TForm1::FormCanResize(int, int) {
    return false;
}

namespace {
// Unwinds a run from the pump in which the main window was closed: every handle the run holds
// is released on the way out, and nothing the run would have done next happens. Deliberately
// not a std::exception, which the run's own handlers may catch.
struct MainWindowClosed {};
}  // namespace

void TForm1::btnClick() {
    running_ = true;
    try {
        RunDownload(*this);
    } catch (const MainWindowClosed&) {
        running_ = false;
        toolkit_.quitMessageLoop(0);
        return;
    }
    running_ = false;
}

void TForm1::sbClick() {
    if (Form2) Form2->form->show();
    form->setEnabled(false);
}

void TForm1::stopClick() {
    StopRequested = true;
    stop->setEnabled(false);
}

void TForm1::FormClose() {
    form->hide();
    if (Form2) Form2->form->hide();
    // Inside a run the close arrives in one of the run's pumps: the run ends as that pump
    // returns (see pumpMessages), and btnClick then ends the loop.
    if (running_) {
        closed_ = true;
        return;
    }
    toolkit_.quitMessageLoop(0);
}

platform::Control* TForm1::control(RunControl which) {
    switch (which) {
        case RunControl::btn:
            return btn.get();
        case RunControl::stop:
            return stop.get();
        case RunControl::sb:
            return sb.get();
        case RunControl::pb:
            return nullptr;  // not a widget: see setVisible
        case RunControl::sql:
            return sql.get();
        case RunControl::silent:
            return silent.get();
        case RunControl::lpr:
            return lpr.get();
    }
    return nullptr;
}

void TForm1::setVisible(RunControl which, bool visible) {
    if (which == RunControl::pb) pb->setVisible(visible);
    if (platform::Control* c = control(which)) c->setVisible(visible);
}

void TForm1::setEnabled(RunControl which, bool enabled) {
    // The progress bar takes no input; there is nothing to enable on it.
    if (platform::Control* c = control(which)) c->setEnabled(enabled);
}

bool TForm1::isChecked(RunControl which) {
    if (which == RunControl::sql) return sql->checked();
    if (which == RunControl::silent) return silent->checked();
    return false;
}

void TForm1::terminateProgram(int exitCode) {
    terminated = true;
    environment_.terminate(exitCode);
}

std::u16string TForm1::statusText() {
    return lpr->text();
}
void TForm1::setStatusText(const std::u16string& text) {
    lpr->setText(text);
}

std::int32_t TForm1::progressPosition() {
    return pb->Position();
}
void TForm1::setProgressPosition(std::int32_t position) {
    pb->setPosition(position);
}
std::int32_t TForm1::progressMax() {
    return pb->Max();
}
void TForm1::setProgressMax(std::int32_t max) {
    pb->setMax(max);
}
void TForm1::setProgressState(std::uint8_t state) {
    pb->setProgressBarState(static_cast<TtbProgressBarState>(state));
}

void TForm1::pumpMessages() {
    if (!closed_) toolkit_.processMessages();
    if (closed_) throw MainWindowClosed{};
}

void TForm1::showMessage(const std::u16string& text) {
    if (closed_) throw MainWindowClosed{};
    toolkit_.showMessage(form->handle(), kApplicationTitle, text);
}
