// The demo update site's stand-in for the product installer (and, under the name
// ORVL_Monitor.exe, for the monitor program): it writes the command line it received, its
// current folder and its own path to a record file, then shows them in a window until closed.
// Each argument is written as it arrived, quoted by the Windows rules when it holds a blank or
// a quote, so one argument "/ppass=my pass" and two arguments /ppass=my pass differ.
// The record goes to $ORVELLE_DEMO_RECORD, or to orvelle-demo-installer.txt in the current
// folder.
#include <filesystem>
#include <fstream>
#include <memory>

#include "common/Text.h"
#include "common/WindowsCommandLine.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/System.h"
#include "platform/Toolkit.h"
#include "platform/Widgets.h"

int ProgramMain() {
    const auto system = platform::createNativeSystem();
    const auto toolkit = platform::createNativeToolkit();
    const auto widgets = platform::createNativeWidgets();
    platform::install(system.get());
    platform::install(toolkit.get());
    platform::install(widgets.get());

    std::u16string arguments;
    for (const auto& argument : system->commandLineArguments()) {
        if (!arguments.empty()) arguments += u' ';
        arguments += commandline::quote(argument);
    }
    std::error_code error;
    const std::u16string folder = std::filesystem::current_path(error).u16string();
    const std::u16string program = system->programPath();

    const auto configured = system->environmentVariable(u"ORVELLE_DEMO_RECORD");
    const std::filesystem::path record =
        configured && !configured->empty() ? std::filesystem::path(*configured)
                                           : std::filesystem::path(u"orvelle-demo-installer.txt");
    {
        std::ofstream out(record, std::ios::binary | std::ios::app);
        out << "arguments: " << text::toUtf8(arguments) << "\n"
            << "folder: " << text::toUtf8(folder) << "\n"
            << "program: " << text::toUtf8(program) << "\n";
    }

    const std::u16string name = std::filesystem::path(program).filename().u16string();
    platform::FormOptions options;
    options.caption = u"Orvelle demo: " + name;
    options.clientWidth = 560;
    options.clientHeight = 96;
    options.ownsTaskbarButton = true;
    auto form = widgets->createForm(options);
    auto close = widgets->createButton(*form, {468, 63, 84, 25}, u"Закрити");
    auto line1 = widgets->createLabel(*form, 8, 8, u"Отримано командний рядок: " + arguments, -11);
    auto line2 = widgets->createLabel(*form, 8, 28, u"Папка: " + folder, -11);
    auto line3 = widgets->createLabel(*form, 8, 48, u"Програма: " + program, -11);
    close->setOnClick([&] { toolkit->quitMessageLoop(0); });
    form->setOnClose([&] { toolkit->quitMessageLoop(0); });
    form->show();
    return toolkit->runMessageLoop();
}
