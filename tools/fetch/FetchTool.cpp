#include "tools/fetch/FetchTool.h"

#include <filesystem>
#include <functional>

#include "common/Text.h"
#include "net/HttpGet.h"
#include "platform/Crypto.h"
#include "platform/Registry.h"
#include "run/PartFile.h"
#include "settings/ProxySettings.h"

namespace fetchtool {
namespace {

constexpr char kUsage[] =
    "usage: orvelle-fetch [--proxy-mode N] [--proxy-host H] [--proxy-port P] "
    "[--proxy-login L] [--proxy-password W] [--quiet] [--sha256] URL OUTFILE\n";

std::string hex(const platform::Crypto::Sha256Digest& digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : digest) {
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
    }
    return text;
}

// The folder part of a path, with its separator (either kind); empty for a bare name.
std::u16string folderOf(const std::u16string& path) {
    const std::size_t last = path.find_last_of(u"/\\");
    return last == std::u16string::npos ? std::u16string() : path.substr(0, last + 1);
}

// The main window as a console sees it: the label and the bar become lines on stderr.
class ConsoleWindow final : public RunWindow {
  public:
    ConsoleWindow(std::ostream& err, bool quiet) : err_(err), quiet_(quiet) {}

    void setVisible(RunControl, bool) override {}
    void setEnabled(RunControl, bool) override {}
    bool isChecked(RunControl) override { return false; }
    void terminateProgram(int) override {}
    std::u16string statusText() override { return status_; }
    void setStatusText(const std::u16string& text) override { status_ = text; }
    std::int32_t progressPosition() override { return position_; }
    void setProgressPosition(std::int32_t position) override {
        if (position == position_) return;
        position_ = position;
        if (!quiet_) err_ << "progress: " << position << "%\n";
    }
    std::int32_t progressMax() override { return 100; }
    void setProgressMax(std::int32_t) override {}
    void setProgressState(std::uint8_t) override {}
    // The engine pumps between its steps: the moment to show a label that changed.
    void pumpMessages() override {
        if (onPump) onPump();
        if (quiet_ || status_ == shownStatus_) return;
        shownStatus_ = status_;
        if (!status_.empty()) err_ << "lpr: " << text::toUtf8(status_) << "\n";
    }
    void showMessage(const std::u16string& text) override { err_ << text::toUtf8(text) << "\n"; }

    std::function<void()> onPump;

  private:
    std::ostream& err_;
    bool quiet_;
    std::u16string status_;
    std::u16string shownStatus_;
    std::int32_t position_ = -1;
};

bool parseNumber(const std::u16string& text, std::int32_t& value) {
    return text::parseInt32(text, value);
}

}  // namespace

int run(const std::vector<std::u16string>& arguments, std::ostream& err, std::ostream& out) {
    bool quiet = false;
    bool printHash = false;
    std::vector<std::u16string> positional;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        const bool takesValue = argument == u"--proxy-mode" || argument == u"--proxy-host" ||
                                argument == u"--proxy-port" || argument == u"--proxy-login" ||
                                argument == u"--proxy-password";
        if (argument == u"--quiet") {
            quiet = true;
        } else if (argument == u"--sha256") {
            printHash = true;
        } else if (takesValue) {
            if (i + 1 >= arguments.size()) {
                err << "orvelle-fetch: " << text::toUtf8(argument) << " needs a value\n" << kUsage;
                return 2;
            }
            const std::u16string& value = arguments[++i];
            if (argument == u"--proxy-host") {
                ProxySettings.host = value;
            } else if (argument == u"--proxy-login") {
                ProxySettings.login = value;
            } else if (argument == u"--proxy-password") {
                ProxySettings.password = value;
            } else if (!parseNumber(value, argument == u"--proxy-mode" ? ProxySettings.mode
                                                                       : ProxySettings.port)) {
                err << "orvelle-fetch: " << text::toUtf8(argument) << " needs a number\n" << kUsage;
                return 2;
            }
        } else if (argument.size() > 2 && argument.rfind(u"--", 0) == 0) {
            err << "orvelle-fetch: unknown option " << text::toUtf8(argument) << "\n" << kUsage;
            return 2;
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != 2) {
        err << kUsage;
        return 2;
    }
    const std::u16string& url = positional[0];
    const std::u16string& outfile = positional[1];

    // OUTFILE takes its name by a rename, which must never replace a device or a folder.
    std::error_code statusError;
    const auto status =
        std::filesystem::symlink_status(std::filesystem::path(outfile), statusError);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        err << "orvelle-fetch: " << text::toUtf8(outfile) << " is not a regular file\n";
        return 2;
    }

    ConsoleWindow window(err, quiet);
    DownloadRun download(window);
    download.items.push_back(tf{url, outfile, u""});
    download.index = 0;
    StopRequested = false;
    const auto failure11 = [&err](const std::u16string& reason) {
        err << text::toUtf8(u"Не вдалося отримати дані (11). Неможливо зберегти файл: " + reason)
            << "\n";
        return 1;
    };
    // The body goes to a part file beside OUTFILE, as in a run: a transfer that ends early is
    // continued by the next call for the same URL. Hashing adds about a third to the
    // transfer's CPU time, so it is done only when asked for.
    PartFile part(folderOf(outfile), url, printHash);
    std::u16string errorText;
    if (!part.open(errorText)) return failure11(errorText);
    download.sink = &part;
    HttpGet(download, url, true, true);
    download.sink = nullptr;
    if (!download.RunOk) return 1;
    platform::Crypto::Sha256Digest digest{};
    if (printHash) {
        if (!part.digest(digest)) return failure11(u"SHA-256");
        out << hex(digest) << "  " << text::toUtf8(outfile) << "\n";
    }
    if (!part.finish(outfile, errorText)) return failure11(errorText);
    return 0;
}

}  // namespace fetchtool
