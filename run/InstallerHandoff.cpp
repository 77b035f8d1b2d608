#include "run/InstallerHandoff.h"

#include <optional>

#include "common/Text.h"
#include "common/WindowsCommandLine.h"
#include "net/HttpGet.h"
#include "net/SysErrorText.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/System.h"
#include "run/ManifestTrust.h"
#include "run/ProgressFile.h"
#include "run/RunPaths.h"

namespace {

constexpr std::uint8_t pbstMarqueeState = 0;
constexpr std::uint8_t pbstNormalState = 1;

// A switch's value as one argument: quoted only when it holds a blank or a double quote, so
// that the plain form installers know stays as it was, and an empty value stays empty.
std::u16string switchValue(const std::u16string& value) {
    return value.empty() ? value : commandline::quote(value);
}

// The folder a command line's program starts in. A quoted program names its folder plainly;
// an unquoted text keeps the whole-text rule, which a path with blanks but no quotes needs.
std::u16string programFolder(const std::u16string& commandLine) {
    const std::size_t first = commandLine.find_first_not_of(u" \t");
    if (first != std::u16string::npos && commandLine[first] == u'"') {
        return FolderOf(commandline::split(commandLine).front());
    }
    return FolderOf(commandLine);
}

}  // namespace

std::u16string InstallerArgs(const TProxySettings& settings) {
    return u"/proxy=" + text::decimal(settings.mode) + u" /host=" + switchValue(settings.host) +
           u" /port=" + text::decimal(settings.port) + u" /plogin=" + switchValue(settings.login) +
           u" /ppass=" + switchValue(settings.password);
}

std::u16string EscapeQueryValue(const std::u16string& value) {
    std::u16string escaped;
    escaped.reserve(value.size());
    for (const char16_t c : value) {
        switch (c) {
            case u'%':
                escaped += u"%25";
                break;
            case u'&':
                escaped += u"%26";
                break;
            case u'+':
                escaped += u"%2B";
                break;
            case u'#':
                escaped += u"%23";
                break;
            default:
                escaped.push_back(c);
        }
    }
    return escaped;
}

std::u16string MonitorRequestUrl(std::int32_t monitorPort, const std::u16string& installerArgs,
                                 const std::u16string& logFile,
                                 const std::u16string& installerPath) {
    const std::u16string param =
        installerArgs + u" /SILENT /LOG=" + commandline::quoteAlways(logFile);
    return u"http://127.0.0.1:" + text::decimal(monitorPort) + u"/run?param=" +
           EscapeQueryValue(param) + u"&path=" + EscapeQueryValue(installerPath);
}

bool StartProcess(DownloadRun& run, const std::u16string& program, const std::u16string& arguments,
                  bool quoteProgram) {
    int error = 0;
    const std::u16string folder = quoteProgram ? FolderOf(program) : programFolder(program);
    if (platform::get<platform::Processes>().start(program, arguments, folder, quoteProgram,
                                                   error)) {
        return true;
    }
    run.window.showMessage(u"Не вдалося встановити (1)." + SysErrorText(error));
    run.RunOk = false;
    return false;
}

void SilentUpdate(DownloadRun& run, const std::u16string& installerArgs, HeldFile& installer) {
    RunWindow& window = run.window;
    auto& system = platform::get<platform::System>();

    window.setProgressState(pbstMarqueeState);
    window.setEnabled(RunControl::stop, false);  // the wait cannot be stopped

    const std::u16string progressFile = ProgressFilePath();
    std::u16string errorText;
    if (!WriteProgressFile(progressFile, run.linesEncoding, errorText)) {
        // Without the file the installation's progress could never be followed.
        window.showMessage(u"Не вдалося оновити (3). " + errorText);
        run.RunOk = false;
        return;
    }

    std::u16string monitorPath;
    HttpGet(run,
            MonitorRequestUrl(MonitorPort, installerArgs, LogFilePath(), run.items.front().name),
            false, true);
    installer.release();  // the service has it (or has failed)
    if (!run.RunOk) return;

    const std::u16string answer = system.fromAnsi(run.stream);
    if (!answer.empty()) {
        window.showMessage(u"Не вдалося оновити (1). " + answer);
        run.RunOk = false;
        UpdateMode = false;  // the next run starts the installer itself
        return;
    }

    window.setProgressPosition(0);
    window.setProgressMax(100);
    window.setStatusText(u"Зачекайте. Триває оновлення...");
    window.pumpMessages();

    // The window restarts only when the number changes: an installer that never starts (the
    // file keeps our 0) must not keep the stop-less wait going for ever.
    std::uint64_t last = system.monotonicMilliseconds();
    std::optional<std::int32_t> lastNumber;
    run.RunOk = false;  // from here on: the monitor program's path was found
    while (!StopRequested && system.monotonicMilliseconds() < last + kProgressWaitMilliseconds &&
           !run.RunOk) {
        ReadProgressFile(progressFile, run.lines);
        const ProgressReading reading = ScanProgress(run.lines, [&] { window.pumpMessages(); });
        if (reading.kind == ProgressReading::MonitorPath) {
            run.RunOk = true;
            monitorPath = reading.monitorPath;
        } else if (reading.kind == ProgressReading::Number) {
            window.setProgressPosition(reading.number);
            if (reading.number >= 100) {
                window.setProgressState(pbstMarqueeState);
            } else if (reading.number > 0) {
                window.setProgressState(pbstNormalState);
            }
            if (lastNumber != reading.number) {
                lastNumber = reading.number;
                last = system.monotonicMilliseconds();
            }
        }
        system.sleepMilliseconds(kProgressPollMilliseconds);
        window.pumpMessages();
    }
    window.setStatusText(u"");
    window.pumpMessages();

    if (run.RunOk) {
        window.showMessage(u"Оновлення завершено");
        // The value is the monitor's whole command line, as the installation wrote it.
        if (!monitorPath.empty()) StartProcess(run, monitorPath, u"", false);
    } else if (StopRequested) {
        window.showMessage(u"Зупинено користувачем.");
    } else {
        window.showMessage(u"Не вдалося оновити (2)");
    }
}

void HandOff(DownloadRun& run, std::u16string installerArgs) {
    // Held from its last check until it has started, or the monitor service has answered:
    // nobody can change it in between.
    HeldFile installer;
    HoldVerifiedInstaller(run, installer);
    if (!run.RunOk) return;
    const bool quick = run.window.isChecked(RunControl::silent);
    if (UpdateMode && quick) {
        SilentUpdate(run, installerArgs, installer);
        return;
    }
    if (quick) installerArgs += u" /SILENT";
    StartProcess(run, run.items.front().name, u" " + installerArgs, true);
}
