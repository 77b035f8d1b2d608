#include "run/Run.h"

#include "net/HttpGet.h"
#include "net/SysErrorText.h"
#include "platform/Crypto.h"
#include "platform/Registry.h"
#include "platform/System.h"
#include "run/InstallerHandoff.h"
#include "run/Manifest.h"
#include "run/ManifestTrust.h"
#include "run/PartFile.h"
#include "run/RunPaths.h"
#include "settings/ProxySettings.h"

namespace {

constexpr std::uint8_t pbstMarqueeState = 0;
constexpr std::uint8_t pbstNormalState = 1;

void showRunning(RunWindow& window) {
    window.setEnabled(RunControl::stop, true);
    window.setVisible(RunControl::pb, true);
    window.setProgressPosition(0);
    window.setProgressMax(100);
    window.setProgressState(pbstMarqueeState);
    window.setVisible(RunControl::stop, true);
    window.setVisible(RunControl::btn, false);
    window.setVisible(RunControl::sql, false);
    window.setVisible(RunControl::silent, false);
    window.setVisible(RunControl::sb, false);
    window.pumpMessages();
}

void showIdle(RunWindow& window) {
    window.setVisible(RunControl::pb, false);
    window.setProgressPosition(0);
    window.setVisible(RunControl::stop, false);
    window.setVisible(RunControl::btn, true);
    window.setVisible(RunControl::sql, true);
    window.setVisible(RunControl::silent, true);
    window.setVisible(RunControl::sb, true);
    window.pumpMessages();
}

void fetchManifest(DownloadRun& run) {
    const CappedAnswer capped(run, kManifestCap);
    const std::u16string url = ManifestUrl();
    HttpGet(run, ApplyScheme(url, run.UseHttps), false, false);
    if (!run.RunOk) {
        run.RunOk = true;
        run.UseHttps = false;
        HttpGet(run, url, false, true);
    }
}

void cannotSave(DownloadRun& run, const std::u16string& errorText) {
    run.window.showMessage(u"Не вдалося отримати дані (11). Неможливо зберегти файл: " + errorText);
    run.RunOk = false;
}

// The URLs the run's files are fetched from, as they go on the wire.
std::vector<std::u16string> fetchedUrls(const DownloadRun& run) {
    std::vector<std::u16string> urls;
    for (const tf& item : run.items) urls.push_back(ApplyScheme(item.url, run.UseHttps));
    return urls;
}

// One file: received into its part file, which takes the file's name only when whole and, where
// the manifest has its hash line, verified.
void fetchFile(DownloadRun& run, const std::u16string& folder) {
    const tf& item = run.items[static_cast<std::size_t>(run.index)];
    const std::u16string url = ApplyScheme(item.url, run.UseHttps);
    PartFile part(folder, url);
    std::u16string errorText;
    if (!part.open(errorText)) {
        cannotSave(run, errorText);
        return;
    }
    run.sink = &part;
    run.cap = FileCap(run);
    struct Restore {
        DownloadRun& run;
        ~Restore() {
            run.sink = nullptr;
            run.cap = {};
        }
    } restore{run};
    HttpGet(run, url, true, true);
    if (!run.RunOk) return;
    // Bytes that are not the publisher's are never given the file's name, so never started.
    platform::Crypto::Sha256Digest digest{};
    if (!part.digest(digest)) digest.fill(0);
    VerifyFile(run, digest);
    if (!run.RunOk) {
        part.discard();
        return;
    }
    // An installer never comes empty: an empty body is a server fault, not a file.
    if (part.size() == 0) {
        run.window.showMessage(u"Не вдалося отримати дані (10).");
        run.RunOk = false;
        return;
    }
    if (!part.finish(item.name, errorText)) cannotSave(run, errorText);
}

void fetchFiles(DownloadRun& run, const std::u16string& folder) {
    for (run.index = 0; run.index < static_cast<std::int32_t>(run.items.size()); ++run.index) {
        if (!run.RunOk) break;
        if (StopRequested) {
            run.window.showMessage(u"Зупинено користувачем.");
            run.RunOk = false;
            break;
        }
        fetchFile(run, folder);
    }
}

}  // namespace

void RunDownload(RunWindow& window) {
    DownloadRun run(window);
    StopRequested = false;
    showRunning(window);

    const std::u16string tempFolder = TempPath();
    if (tempFolder.empty()) {
        // Without it the files would land in (and old ones be deleted from) the current folder.
        const int error = platform::get<platform::System>().lastError();
        window.showMessage(u"Не вдалося отримати дані (11). Неможливо зберегти файл: " +
                           SysErrorText(error));
        showIdle(window);
        return;
    }
    DeleteByMask(tempFolder, u"ORVL_Downloader*");
    PartFile::removeOld(tempFolder);

    fetchManifest(run);
    if (run.RunOk) VerifyManifest(run, std::string(run.stream));
    if (run.RunOk) {
        ReadLines(run.stream, run.lines, run.linesEncoding);
        if (!ItemsFromManifest(run.lines, window.isChecked(RunControl::sql), tempFolder,
                               run.items)) {
            window.showMessage(u"Не вдалося отримати дані (10).");
            run.RunOk = false;
        }
        TakeManifestLines(run);
    }
    if (run.RunOk) PartFile::removeUnused(tempFolder, fetchedUrls(run));
    window.setProgressState(pbstNormalState);

    fetchFiles(run, tempFolder);
    RememberManifestSerial(run);  // only once every file was verified

    const std::u16string installerArgs = InstallerArgs(ProxySettings);
    if (run.RunOk && !run.items.empty()) HandOff(run, installerArgs);

    if (run.RunOk) {
        window.setProgressPosition(window.progressMax());
        window.setEnabled(RunControl::stop, false);
        window.terminateProgram(0);
        return;
    }
    showIdle(window);
}
