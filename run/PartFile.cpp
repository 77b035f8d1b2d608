#include "run/PartFile.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "common/Text.h"
#include "net/HttpFields.h"
#include "net/SysErrorText.h"
#include "platform/Registry.h"

namespace {

constexpr std::size_t kReadPiece = 1u << 20;
// A description is a few short lines; anything longer is not ours.
constexpr int kMaxDescription = 16 * 1024;
constexpr char16_t kDescriptionSuffix[] = u".meta";

std::u16string cannotCreate(const std::u16string& path, int error) {
    return u"Cannot create file \"" + path + u"\". " + SysErrorText(error);
}

// The value of "key=value" in a description's lines, or nothing.
std::optional<std::string> field(std::string_view lines, std::string_view key) {
    std::size_t start = 0;
    while (start < lines.size()) {
        std::size_t end = lines.find('\n', start);
        if (end == std::string_view::npos) end = lines.size();
        const std::string_view line = lines.substr(start, end - start);
        if (line.size() > key.size() && line.substr(0, key.size()) == key &&
            line[key.size()] == '=')
            return std::string(line.substr(key.size() + 1));
        start = end + 1;
    }
    return std::nullopt;
}

}  // namespace

std::optional<ResumeState> ParsePartDescription(std::string_view lines, const std::u16string& url) {
    const auto writtenUrl = field(lines, "url");
    const auto total = field(lines, "total");
    const auto etag = field(lines, "etag");
    const auto lastModified = field(lines, "last-modified");
    ResumeState state;
    if (!writtenUrl || *writtenUrl != text::toUtf8(url) || !total ||
        !parseContentLength(text::fromUtf8(*total), state.total) || state.total == 0 ||
        state.total > static_cast<std::uint64_t>(INT64_MAX))
        return std::nullopt;
    state.validatorIsEtag = etag.has_value();
    state.validator = text::fromUtf8(etag.value_or(lastModified.value_or("")));
    if (state.validator.empty()) return std::nullopt;
    return state;
}

PartFile::PartFile(const std::u16string& folder, const std::u16string& url, bool hashed)
    : files_(platform::get<platform::Files>()),
      crypto_(platform::get<platform::Crypto>()),
      url_(url),
      path_(folder + nameFor(url)),
      descriptionPath_(path_ + kDescriptionSuffix),
      hashed_(hashed) {}

PartFile::~PartFile() {
    if (finished_) return;
    close();
    if (failed_ || !resumable_ || size_ == 0) discard();
}

std::u16string PartFile::nameFor(const std::u16string& url) {
    platform::Crypto::Sha256Digest digest{};
    platform::get<platform::Crypto>().sha256(text::toUtf8(url), digest);
    static constexpr char kHex[] = "0123456789abcdef";
    std::u16string name = u"ORVL_Partial_";
    for (std::size_t i = 0; i < 16; ++i) {
        name += static_cast<char16_t>(kHex[digest[i] >> 4]);
        name += static_cast<char16_t>(kHex[digest[i] & 15]);
    }
    return name;
}

bool PartFile::open(std::u16string& errorText) {
    if (reopen()) return true;
    discard();
    int error = 0;
    file_ = files_.createPart(path_, error);
    if (file_ == platform::Files::kInvalid) {
        errorText = cannotCreate(path_, error);
        return false;
    }
    if (!restartHash()) {
        errorText = cannotCreate(path_, 0);
        return false;
    }
    return true;
}

// The part of an earlier run continues only with its description: the same URL, a total it has
// not reached and a validator. Its bytes are hashed again, since the hash covers the whole file.
bool PartFile::reopen() {
    const auto state = readDescription();
    if (!state) return false;
    int error = 0;
    file_ = files_.reopenPart(path_, error);
    if (file_ == platform::Files::kInvalid || !restartHash()) return false;
    std::vector<char> piece(kReadPiece);
    for (;;) {
        const int n = files_.read(file_, piece.data(), static_cast<int>(piece.size()), error);
        if (n < 0) return false;
        if (n == 0) break;
        if (hash_) hash_->update(piece.data(), static_cast<std::size_t>(n));
        size_ += static_cast<std::uint64_t>(n);
    }
    if (size_ == 0 || size_ >= state->total) return false;
    held_ = state;
    resumable_ = true;
    return true;
}

bool PartFile::restartHash() {
    hash_ = hashed_ ? crypto_.startSha256() : nullptr;
    return hash_ != nullptr || !hashed_;
}

bool PartFile::append(const char* data, std::size_t size, int& error) {
    if (!files_.write(file_, data, size, error)) {
        failed_ = true;
        return false;
    }
    if (hash_) hash_->update(data, size);
    size_ += size;
    return true;
}

bool PartFile::clear(int& error) {
    held_.reset();
    size_ = 0;
    if (!files_.truncate(file_, error)) {
        failed_ = true;
        return false;
    }
    if (!restartHash()) {
        failed_ = true;
        error = 0;
        return false;
    }
    return true;
}

void PartFile::resumableAs(const std::optional<ResumeState>& state) {
    files_.remove(descriptionPath_);
    resumable_ = false;
    if (state) writeDescription(*state);
}

// Written when the first whole answer arrives, so that even a killed process leaves a part the
// next run can continue. The bytes held are the part's own size.
void PartFile::writeDescription(const ResumeState& state) {
    std::string lines = "url=" + text::toUtf8(url_) + "\n";
    lines += "total=" + std::to_string(state.total) + "\n";
    lines += (state.validatorIsEtag ? "etag=" : "last-modified=") + text::toUtf8(state.validator);
    lines += "\n";
    int error = 0;
    const auto file = files_.createPart(descriptionPath_, error);
    if (file == platform::Files::kInvalid) return;
    resumable_ = files_.write(file, lines.data(), lines.size(), error);
    files_.close(file);
    if (!resumable_) files_.remove(descriptionPath_);
}

std::optional<ResumeState> PartFile::readDescription() {
    int error = 0;
    const auto file = files_.openRead(descriptionPath_, false, error);
    if (file == platform::Files::kInvalid) return std::nullopt;
    std::string lines(kMaxDescription + 1, '\0');
    int size = 0;
    int n = 0;
    while (size <= kMaxDescription &&
           (n = files_.read(file, lines.data() + size, kMaxDescription + 1 - size, error)) > 0)
        size += n;
    files_.close(file);
    if (n < 0 || size > kMaxDescription) return std::nullopt;
    lines.resize(static_cast<std::size_t>(size));
    return ParsePartDescription(lines, url_);
}

bool PartFile::digest(platform::Crypto::Sha256Digest& digest) {
    return hash_ && hash_->finish(digest);
}

bool PartFile::finish(const std::u16string& name, std::u16string& errorText) {
    close();
    int error = 0;
    if (!files_.rename(path_, name, error)) {
        errorText = cannotCreate(name, error);
        return false;
    }
    finished_ = true;
    files_.remove(descriptionPath_);
    return true;
}

void PartFile::discard() {
    close();
    files_.remove(path_);
    files_.remove(descriptionPath_);
    resumable_ = false;
}

void PartFile::close() {
    if (file_ != platform::Files::kInvalid) files_.close(file_);
    file_ = platform::Files::kInvalid;
}

void PartFile::removeOld(const std::u16string& folder) {
    auto& files = platform::get<platform::Files>();
    for (const auto& entry : files.list(folder, kMask))
        if (entry.ageSeconds > kMaxAgeSeconds) files.remove(folder + entry.name);
}

void PartFile::removeUnused(const std::u16string& folder, const std::vector<std::u16string>& urls) {
    std::vector<std::u16string> used;
    for (const auto& url : urls) used.push_back(nameFor(url));
    auto& files = platform::get<platform::Files>();
    for (const auto& entry : files.list(folder, kMask)) {
        const std::u16string part = entry.name.substr(0, entry.name.find(u'.'));
        if (std::find(used.begin(), used.end(), part) == used.end())
            files.remove(folder + entry.name);
    }
}
