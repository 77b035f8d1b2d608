// Name resolution for judging where a redirect points, kept apart because the Winsock headers
// want to come before windows.h.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The IPv4 and IPv6 addresses host resolves to, as numeric text; empty when it does not resolve.
// Blocks for as long as the system's resolver takes.
std::vector<std::u16string> resolveWithWinsock(const std::u16string& host);

}  // namespace platform
