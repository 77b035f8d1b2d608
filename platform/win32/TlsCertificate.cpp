// Server certificate checks for the Schannel TLS client (see TlsCertificate.h).
#include "platform/win32/TlsCertificate.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "platform/win32/PemText.h"

namespace platform::schannel {
namespace {

struct CertificateDeleter {
    void operator()(const CERT_CONTEXT* certificate) const {
        CertFreeCertificateContext(certificate);
    }
};
using OwnedCertificate = std::unique_ptr<const CERT_CONTEXT, CertificateDeleter>;
struct StoreDeleter {
    void operator()(void* store) const { CertCloseStore(store, 0); }
};
using OwnedStore = std::unique_ptr<void, StoreDeleter>;
struct ChainDeleter {
    void operator()(const CERT_CHAIN_CONTEXT* chain) const { CertFreeCertificateChain(chain); }
};
using OwnedChain = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainDeleter>;

// The first certificate of a PEM file.
OwnedCertificate readCaFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::string pem((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::vector<BYTE> der = pemToDer(pem);
    if (der.empty()) return nullptr;
    return OwnedCertificate(CertCreateCertificateContext(X509_ASN_ENCODING, der.data(),
                                                         static_cast<DWORD>(der.size())));
}

// Errors a chain may carry that do not concern its trust here: revocation cannot be checked
// offline, and a chain to the caller's own CA is untrusted by the system by design.
constexpr DWORD kIgnoredWithCaFile = CERT_TRUST_IS_UNTRUSTED_ROOT |
                                     CERT_TRUST_REVOCATION_STATUS_UNKNOWN |
                                     CERT_TRUST_IS_OFFLINE_REVOCATION;
constexpr DWORD kIgnoredWithSystemRoots =
    CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;

bool checkChain(PCCERT_CONTEXT certificate, const Tls::Options& options, std::string& error) {
    OwnedCertificate ca;
    OwnedStore caStore(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
    OwnedStore additional(CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr));
    if (!caStore || !additional) {
        error = "the certificate stores could not be opened";
        return false;
    }
    if (!options.caFile.empty()) {
        ca = readCaFile(options.caFile);
        if (!ca) {
            error = "the CA file could not be read";
            return false;
        }
        if (!CertAddCertificateContextToStore(caStore.get(), ca.get(), CERT_STORE_ADD_ALWAYS,
                                              nullptr)) {
            error = "the CA file could not be used";
            return false;
        }
    }
    // The chain may use the CA and the intermediate certificates the server sent (in its
    // certificate's own store).
    CertAddStoreToCollection(additional.get(), caStore.get(), 0, 0);
    if (certificate->hCertStore)
        CertAddStoreToCollection(additional.get(), certificate->hCertStore, 0, 0);
    CERT_CHAIN_PARA parameters{};
    parameters.cbSize = sizeof parameters;
    PCCERT_CHAIN_CONTEXT chainContext = nullptr;
    if (!CertGetCertificateChain(nullptr, certificate, nullptr, additional.get(), &parameters, 0,
                                 nullptr, &chainContext)) {
        error = "the certificate chain could not be built";
        return false;
    }
    OwnedChain chain(chainContext);
    if (!ca) {
        if (chain->TrustStatus.dwErrorStatus & ~kIgnoredWithSystemRoots) {
            error = "certificate verify failed";
            return false;
        }
        return true;
    }
    // With a CA file the chain must end at that very certificate.
    const CERT_SIMPLE_CHAIN* simple = chain->cChain ? chain->rgpChain[0] : nullptr;
    const bool endsAtCa =
        simple && simple->cElement > 0 &&
        CertCompareCertificate(X509_ASN_ENCODING,
                               simple->rgpElement[simple->cElement - 1]->pCertContext->pCertInfo,
                               ca->pCertInfo);
    if (!endsAtCa &&
        !CertCompareCertificate(X509_ASN_ENCODING, certificate->pCertInfo, ca->pCertInfo)) {
        error = "certificate verify failed: not issued by the given CA";
        return false;
    }
    if (chain->TrustStatus.dwErrorStatus & ~kIgnoredWithCaFile) {
        error = "certificate verify failed";
        return false;
    }
    return true;
}

// The host as four address bytes when it is a dotted IPv4 address.
bool parseIPv4(const std::string& host, BYTE (&address)[4]) {
    unsigned parts[4];
    char tail = 0;
    if (std::sscanf(host.c_str(), "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2], &parts[3],
                    &tail) != 4)
        return false;
    for (int i = 0; i < 4; ++i) {
        if (parts[i] > 255) return false;
        address[i] = static_cast<BYTE>(parts[i]);
    }
    return true;
}

bool sameNameIgnoringCase(const std::wstring& pattern, const std::string& host) {
    std::wstring name = pattern;
    std::string wanted = host;
    // "*.example.org" stands for exactly one label.
    if (name.size() > 2 && name[0] == L'*' && name[1] == L'.') {
        const auto dot = wanted.find('.');
        if (dot == std::string::npos) return false;
        wanted = wanted.substr(dot + 1);
        name = name.substr(2);
    }
    if (name.size() != wanted.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto lower = [](unsigned c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(name[i]) != lower(static_cast<unsigned char>(wanted[i]))) return false;
    }
    return true;
}

// The subject alternative names must name the host: an address entry for an address, a DNS
// entry for a name.
bool checkIdentity(PCCERT_CONTEXT certificate, const std::string& host, std::string& error) {
    error = "certificate verify failed: the certificate does not name " + host;
    const CERT_INFO* info = certificate->pCertInfo;
    const CERT_EXTENSION* extension =
        CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
    if (!extension) return false;
    CERT_ALT_NAME_INFO* names = nullptr;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                             extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names,
                             &size))
        return false;
    BYTE address[4];
    const bool isAddress = parseIPv4(host, address);
    bool named = false;
    for (DWORD i = 0; i < names->cAltEntry && !named; ++i) {
        const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
        if (isAddress && entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS)
            named =
                entry.IPAddress.cbData == 4 && std::memcmp(entry.IPAddress.pbData, address, 4) == 0;
        else if (!isAddress && entry.dwAltNameChoice == CERT_ALT_NAME_DNS_NAME)
            named = sameNameIgnoringCase(entry.pwszDNSName, host);
    }
    LocalFree(names);
    return named;
}

}  // namespace

bool checkServerCertificate(PCCERT_CONTEXT certificate, const Tls::Options& options,
                            std::string& error) {
    if (options.verify == Tls::Verify::None) return true;
    if (!certificate) {
        error = "the server sent no certificate";
        return false;
    }
    if (!checkChain(certificate, options, error)) return false;
    return options.verify != Tls::Verify::Identity ||
           checkIdentity(certificate, options.host, error);
}

}  // namespace platform::schannel
