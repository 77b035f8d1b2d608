// Any bytes as an update manifest, as a progress file and as a kept part's description:
// decoding, line splitting, the items, the progress scan and the description must stay inside
// the input and keep their promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "platform/Registry.h"
#include "platform/System.h"
#include "run/Manifest.h"
#include "run/PartFile.h"
#include "run/ProgressFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::unique_ptr<platform::System> system = [] {
        auto native = platform::createNativeSystem();
        platform::install(native.get());
        return native;
    }();

    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::u16string> lines;
    TextEncoding encoding;
    ReadLines(bytes, lines, encoding);
    for (const auto& line : lines) {
        if (line.find_first_of(u"\r\n") != std::u16string::npos) std::abort();
    }

    std::vector<tf> items;
    if (ItemsFromManifest(lines, true, u"T/", items)) {
        if (items.empty() || items.size() > 2) std::abort();
        if (items[0].name.rfind(u"T/ORVL_Downloader", 0) != 0) std::abort();
    } else if (!items.empty()) {
        std::abort();
    }

    const ProgressReading reading = ScanProgress(lines, nullptr);
    if (reading.kind == ProgressReading::MonitorPath &&
        reading.monitorPath.find(kMonitorProgram) == std::u16string::npos) {
        std::abort();
    }

    if (const auto held = ParsePartDescription(bytes, u"http://h/f.exe");
        held && (held->total == 0 || held->validator.empty()))
        std::abort();

    // What is written in an encoding reads back as the same lines (line breaks aside).
    if (encoding != TextEncoding::Ansi) {
        std::vector<std::u16string> again;
        TextEncoding encodingAgain;
        ReadLines(WriteLines(lines, encoding), again, encodingAgain);
        if (encodingAgain != encoding) std::abort();
    }
    return 0;
}
