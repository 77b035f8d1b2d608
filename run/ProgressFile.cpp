#include "run/ProgressFile.h"

#include "common/Text.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "run/Manifest.h"
#include "run/RunPaths.h"

std::u16string ProgressFilePath() {
    return ProgramFolder() + u"Orvelle_Install.ini";
}
std::u16string LogFilePath() {
    return ProgramFolder() + u"Orvelle_Install.log";
}

bool WriteProgressFile(const std::u16string& path, TextEncoding encoding,
                       std::u16string& errorText) {
    const std::string bytes = WriteLines({u"[Update]", u"Orvelle_Install=0"}, encoding);
    return platform::get<platform::Files>().writeWhole(path, bytes, errorText);
}

bool ReadProgressFile(const std::u16string& path, std::vector<std::u16string>& lines) {
    lines.clear();
    auto& files = platform::get<platform::Files>();
    int error = 0;
    const auto file = files.openRead(path, true, error);
    if (file == platform::Files::kInvalid) return false;
    std::string bytes;
    char buffer[4096];
    bool ok = true;
    for (;;) {
        const int n = files.read(file, buffer, static_cast<int>(sizeof buffer), error);
        if (n < 0 || bytes.size() + static_cast<std::size_t>(n) > kMaxProgressFileBytes) {
            ok = false;
            break;
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    files.close(file);
    if (!ok) return false;
    TextEncoding encoding;
    ReadLines(bytes, lines, encoding);
    return true;
}

ProgressReading ScanProgress(const std::vector<std::u16string>& lines,
                             const std::function<void()>& afterPassedLine) {
    ProgressReading reading;
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        const std::size_t key = line->find(kProgressKey);
        if (key != std::u16string::npos) {
            const std::size_t valueStart = key + kProgressKey.size() + 1;
            const std::u16string value =
                valueStart < line->size() ? line->substr(valueStart) : std::u16string();
            std::int32_t number = 0;
            if (value.find(kMonitorProgram) != std::u16string::npos) {
                reading.kind = ProgressReading::MonitorPath;
                reading.monitorPath = value;
                return reading;
            }
            if (text::parseInt32(value, number)) {
                reading.kind = ProgressReading::Number;
                reading.number = number;
                return reading;
            }
        }
        if (afterPassedLine) afterPassedLine();
    }
    return reading;
}
