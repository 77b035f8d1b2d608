// The start-up probe for a local MySQL server: is one there, and is it version 5?
#pragma once

#include <cstdint>
#include <string>

enum class ProbeOutcome {
    NoServer,           // nothing listening, login refused or any other failure
    SupportedServer,    // admitted the anonymous login and announces a version 5
    UnsupportedServer,  // admitted the anonymous login with any other version
};

struct ProbeResult {
    ProbeOutcome outcome = ProbeOutcome::NoServer;
    std::u16string version;
};

constexpr char16_t kProbeHost[] = u"127.0.0.1";
constexpr std::uint32_t kProbePort = 3307;
// Each of the probe's waits (connect, greeting, every later reply) ends after this.
constexpr std::uint32_t kProbeTimeoutSeconds = 2;

// Logs in with an empty user and password; the client is freed before this returns.
ProbeResult ProbeLocalMysql(const std::u16string& host = kProbeHost,
                            std::uint32_t port = kProbePort);

std::u16string UnsupportedVersionMessage(const std::u16string& version);
