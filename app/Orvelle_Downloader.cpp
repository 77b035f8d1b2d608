// The program: start-up in its fixed order, then the message loop until the main window closes.
#include <cstdlib>
#include <memory>

#include "app/Probe.h"
#include "app/Services.h"
#include "app/Unit1.h"
#include "platform/Registry.h"
#include "platform/System.h"
#include "platform/Toolkit.h"
#include "platform/Widgets.h"
#include "settings/Unit2.h"

int ProgramMain() {
    // 1. The application: the platform services (the toolkit initialises the object system on
    //    this thread) and its title, the caption of every message box.
    const auto services = InstallServices();
    platform::Toolkit& toolkit = platform::get<platform::Toolkit>();
    platform::Widgets& widgets = platform::get<platform::Widgets>();

    // 2. The main window; its FormCreate reads the command line and probes for MySQL.
    TForm1Environment environment;
    environment.arguments = platform::get<platform::System>().commandLineArguments();
    environment.probe = [] { return ProbeLocalMysql(); };
    // Ends at once, as the probe's refusal asks; the probe's client is already freed.
    environment.terminate = [](int exitCode) { std::_Exit(exitCode); };
    auto Form1 = std::make_unique<TForm1>(widgets, toolkit, std::move(environment));
    // The main window carries the program's taskbar button.
    SetApplicationWindow(Form1->form->handle());

    // 3. The settings window, hidden until the settings button opens it.
    TForm2* settings = nullptr;
    auto Form2 = std::make_unique<TForm2>(widgets, *Form1->form, [&](const std::u16string& text) {
        toolkit.showMessage(settings->form->handle(), kApplicationTitle, text);
    });
    settings = Form2.get();
    Form1->Form2 = Form2.get();

    // 4. Show the main window and run until it is closed.
    Form1->form->show();
    const int exitCode = toolkit.runMessageLoop();
    Form1->Form2 = nullptr;
    return exitCode;
}
