// PEM text (a key or a certificate) to the DER bytes it carries, for the crypto and TLS back ends.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <wincrypt.h>

#include <string_view>
#include <vector>

namespace platform {

// Empty when the text is not PEM or is too long to be a key or certificate of ours.
inline std::vector<BYTE> pemToDer(std::string_view pem) {
    DWORD size = 0;
    if (pem.empty() || pem.size() > 0xFFFFFF ||
        !CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                              nullptr, &size, nullptr, nullptr))
        return {};
    std::vector<BYTE> der(size);
    if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                              der.data(), &size, nullptr, nullptr))
        return {};
    der.resize(size);
    return der;
}

}  // namespace platform
