// The TLS client through Schannel (SSPI).
#include "platform/Tls.h"

namespace platform {
namespace {

class SchannelTls final : public Tls {
  public:
    std::unique_ptr<Session> connect(Stream&, const Options&, std::string& error) override {
        error = "TLS is not available in this build";
        return nullptr;
    }
};

}  // namespace

std::unique_ptr<Tls> createNativeTls() {
    return std::make_unique<SchannelTls>();
}

}  // namespace platform
