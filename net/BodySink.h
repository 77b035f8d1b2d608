// Where a transfer's body goes: memory for the small answers (the manifest, its signature, the
// monitor service's answer), a part file on disk for the files a run fetches. A sink may hold
// bytes from an earlier run, with what the engine needs to ask for the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// What continues a body held from an earlier run: the full size of the resource and the
// validator of the answer the held bytes came from.
struct ResumeState {
    std::uint64_t total = 0;
    bool validatorIsEtag = true;  // else Last-Modified
    std::u16string validator;
};

class BodySink {
  public:
    virtual ~BodySink() = default;
    virtual std::uint64_t size() const = 0;
    // The most bytes it can hold.
    virtual std::uint64_t limit() const { return UINT64_MAX; }
    // Memory fails for want of memory; a file with the system's reason (a full disk).
    virtual bool inMemory() const { return false; }
    // Keeps the bytes, or fails with the system's error code.
    virtual bool append(const char* data, std::size_t size, int& error) = 0;
    // Drops every byte held, kept ones included: a whole answer begins the body anew.
    virtual bool clear(int& error) = 0;
    // The body this sink holds from an earlier run, when it may be continued.
    virtual std::optional<ResumeState> heldFromEarlier() const { return std::nullopt; }
    // The first whole answer tells how a later run could continue it (nullopt: it cannot).
    virtual void resumableAs(const std::optional<ResumeState>& state) { (void)state; }
};

// The run's in-memory stream as a sink: the body must fit a signed 32-bit size, as a small
// answer always does.
class MemorySink final : public BodySink {
  public:
    explicit MemorySink(std::string& bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    std::uint64_t limit() const override { return 0x7FFFFFFF; }
    bool inMemory() const override { return true; }
    bool append(const char* data, std::size_t size, int& error) override;
    bool clear(int&) override {
        bytes_.clear();
        return true;
    }

  private:
    std::string& bytes_;
};
