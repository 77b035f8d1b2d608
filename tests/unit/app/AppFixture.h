// Shared set-up for the window tests: fake widgets and toolkit, the process-wide values reset.
#pragma once

#include <gtest/gtest.h>

#include "app/Unit1.h"
#include "settings/ProxySettings.h"
#include "settings/Unit2.h"
#include "tests/fakes/FakeMessageToolkit.h"
#include "tests/fakes/FakeProgressDisplay.h"
#include "tests/fakes/FakeWidgets.h"

namespace apptest {

inline void resetProcessValues() {
    ProxySettings = TProxySettings{};
    StopRequested = false;
    UpdateMode = false;
    MonitorPort = kDefaultMonitorPort;
}

class Windows : public ::testing::Test {
  protected:
    void SetUp() override { resetProcessValues(); }
    void TearDown() override { resetProcessValues(); }

    // Start-up as the program does it: the main window (FormCreate), then the settings window.
    void start(std::vector<std::u16string> arguments = {}, ProbeResult probe = ProbeResult{}) {
        TForm1Environment environment;
        environment.arguments = std::move(arguments);
        environment.probe = [probe] { return probe; };
        environment.terminate = [this](int code) { exitCodes.push_back(code); };
        form1 = std::make_unique<TForm1>(widgets, toolkit, std::move(environment));
        if (!exitCodes.empty()) return;
        form2 = std::make_unique<TForm2>(widgets, *form1->form, [this](const std::u16string& t) {
            toolkit.showMessage(form2->form->handle(), kApplicationTitle, t);
        });
        form1->Form2 = form2.get();
        form1->form->show();
    }

    template <class Fake, class Interface>
    static Fake& fake(const std::unique_ptr<Interface>& control) {
        return static_cast<Fake&>(*control);
    }
    fakes::FakeForm& mainForm() { return fake<fakes::FakeForm>(form1->form); }
    fakes::FakeForm& settingsForm() { return fake<fakes::FakeForm>(form2->form); }

    // The progress bar reaches its native window, toolkit and taskbar through the registry.
    fakes::ProgressDisplayFakes display;
    fakes::FakeWidgets widgets;
    fakes::FakeMessageToolkit toolkit;
    std::vector<int> exitCodes;
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;
};

}  // namespace apptest
