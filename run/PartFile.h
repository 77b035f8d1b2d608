// A file of the run as it arrives: its body goes into a part file in the run's folder, hashed as
// it is written, and takes its documented name only once whole (and verified by the caller).
// A part that a run leaves unfinished stays, with what resuming needs beside it, so the next run
// that fetches the same URL asks only for the rest.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/BodySink.h"
#include "platform/Crypto.h"
#include "platform/Files.h"

// What a part's description says, when it describes a part of url that can be continued.
std::optional<ResumeState> ParsePartDescription(std::string_view lines, const std::u16string& url);

class PartFile final : public BodySink {
  public:
    // Parts (and what describes them) are named after the URL they hold, never matching the
    // clean-up mask of the named downloads.
    static constexpr char16_t kMask[] = u"ORVL_Partial_*";
    // Kept parts older than this are removed at the start of a run.
    static constexpr std::int64_t kMaxAgeSeconds = 7 * 24 * 60 * 60;

    // Unhashed, a part skips SHA-256 altogether: digest() then fails.
    PartFile(const std::u16string& folder, const std::u16string& url, bool hashed = true);
    // An unfinished part stays when a later run may continue it; otherwise it goes.
    ~PartFile() override;
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // Reopens the part an earlier run left for this URL, hashing the bytes it holds again, or
    // creates a new one. False with the reason (worded for failure 11) when neither can be had.
    bool open(std::u16string& errorText);

    std::uint64_t size() const override { return size_; }
    bool append(const char* data, std::size_t size, int& error) override;
    bool clear(int& error) override;
    std::optional<ResumeState> heldFromEarlier() const override { return held_; }
    void resumableAs(const std::optional<ResumeState>& state) override;

    // The SHA-256 of every byte held; false when the platform's provider failed.
    bool digest(platform::Crypto::Sha256Digest& digest);
    // Closes the whole file and gives it its name, replacing a file of that name. False with the
    // reason (worded for failure 11).
    bool finish(const std::u16string& name, std::u16string& errorText);
    // Removes the part and its description: its bytes are not what they should be.
    void discard();

    // The part's name for a URL (without the folder); its description adds ".meta".
    static std::u16string nameFor(const std::u16string& url);
    // Removes the kept parts older than kMaxAgeSeconds.
    static void removeOld(const std::u16string& folder);
    // Removes the kept parts that none of these URLs uses.
    static void removeUnused(const std::u16string& folder, const std::vector<std::u16string>& urls);

  private:
    bool reopen();
    bool restartHash();
    void writeDescription(const ResumeState& state);
    std::optional<ResumeState> readDescription();
    void close();

    platform::Files& files_;
    platform::Crypto& crypto_;
    const std::u16string url_;
    const std::u16string path_;
    const std::u16string descriptionPath_;
    const bool hashed_;
    platform::Files::Handle file_ = platform::Files::kInvalid;
    std::unique_ptr<platform::Crypto::Sha256Stream> hash_;
    std::uint64_t size_ = 0;
    std::optional<ResumeState> held_;
    bool resumable_ = false;  // a description of this part is on disk
    bool failed_ = false;     // a write failed: what is held is not to be trusted
    bool finished_ = false;
};
