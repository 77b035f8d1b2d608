#include "tests/fakes/FakeMysqlServer.h"

namespace {
constexpr int kWaitMilliseconds = 10000;
}

// ---- connection -----------------------------------------------------------------------------

FakeMysqlConnection::FakeMysqlConnection(loopback::Socket socket, std::vector<std::string>& log,
                                         std::mutex& lock)
    : fsocket(socket), flog(log), flock(lock) {}

void FakeMysqlConnection::sendRaw(const std::string& bytes) {
    if (fsocket != loopback::kNone) loopback::sendAll(fsocket, bytes.data(), bytes.size());
}

void FakeMysqlConnection::sendPacket(std::uint8_t sequence, const std::string& payload) {
    sendRaw(mysqlwire::packet(sequence, payload));
}

bool FakeMysqlConnection::readExactly(char* buffer, std::size_t size) {
    while (size > 0) {
        const int got = loopback::receiveSome(fsocket, buffer, size);
        if (got <= 0) return false;
        buffer += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

std::optional<std::string> FakeMysqlConnection::readPacket(std::uint8_t* sequence) {
    if (fsocket == loopback::kNone) return std::nullopt;
    unsigned char header[4];
    if (!readExactly(reinterpret_cast<char*>(header), 4)) return std::nullopt;
    const std::size_t length = header[0] | (header[1] << 8) | (std::size_t(header[2]) << 16);
    std::string payload(length, '\0');
    if (length > 0 && !readExactly(payload.data(), length)) return std::nullopt;
    if (sequence) *sequence = header[3];
    std::lock_guard<std::mutex> guard(flock);
    flog.push_back(payload);
    return payload;
}

std::string FakeMysqlConnection::readRaw(std::size_t size) {
    std::string bytes(size, '\0');
    const int got = loopback::receiveSome(fsocket, bytes.data(), size);
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
}

bool FakeMysqlConnection::waitForPeerClose() {
    char byte;
    return loopback::receiveSome(fsocket, &byte, 1) == 0;
}

void FakeMysqlConnection::close() {
    if (fsocket != loopback::kNone) loopback::closeSocket(fsocket);
    fsocket = loopback::kNone;
}

void FakeMysqlConnection::abort() {
    if (fsocket != loopback::kNone) loopback::abortSocket(fsocket);
    fsocket = loopback::kNone;
}

// ---- server ---------------------------------------------------------------------------------

FakeMysqlServer::FakeMysqlServer(std::vector<Script> scripts) : fscripts(std::move(scripts)) {
    freceived.resize(fscripts.size());
    flistener = loopback::listenOnLoopback(fport);
    fthread = std::thread([this] { serve(); });
}

FakeMysqlServer::~FakeMysqlServer() {
    finish();
    if (flistener != loopback::kNone) loopback::closeSocket(flistener);
}

void FakeMysqlServer::serve() {
    if (flistener == loopback::kNone) return;
    for (std::size_t k = 0; k < fscripts.size(); ++k) {
        const loopback::Socket socket =
            loopback::acceptWithin(flistener, kWaitMilliseconds, kWaitMilliseconds);
        if (socket == loopback::kNone) return;
        FakeMysqlConnection connection(socket, freceived[k], flock);
        fscripts[k](connection);
        connection.close();
        std::lock_guard<std::mutex> guard(flock);
        ++fserved;
    }
}

int FakeMysqlServer::finish() {
    if (fthread.joinable()) fthread.join();
    std::lock_guard<std::mutex> guard(flock);
    return fserved;
}

std::vector<std::string> FakeMysqlServer::received(std::size_t connection) const {
    std::lock_guard<std::mutex> guard(flock);
    return connection < freceived.size() ? freceived[connection] : std::vector<std::string>{};
}

// ---- packet builders ------------------------------------------------------------------------

namespace mysqlwire {

std::string int2(std::uint32_t value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}
std::string int3(std::uint32_t value) {
    return int2(value) + static_cast<char>((value >> 16) & 0xFF);
}
std::string int4(std::uint32_t value) {
    return int3(value) + static_cast<char>((value >> 24) & 0xFF);
}

// Built by appending: GCC 12 warns falsely (-Wrestrict) about "literal" + std::string at -O3.
std::string lenenc(std::uint64_t value) {
    std::string out;
    if (value < 251) {
        out.push_back(static_cast<char>(value));
    } else if (value < 0x10000) {
        out.push_back('\xFC');
        out.append(int2(static_cast<std::uint32_t>(value)));
    } else if (value < 0x1000000) {
        out.push_back('\xFD');
        out.append(int3(static_cast<std::uint32_t>(value)));
    } else {
        out.push_back('\xFE');
        out.append(int4(static_cast<std::uint32_t>(value)));
        out.append(int4(static_cast<std::uint32_t>(value >> 32)));
    }
    return out;
}

std::string lenencString(const std::string& text) {
    return lenenc(text.size()) + text;
}

std::string packet(std::uint8_t sequence, const std::string& payload) {
    return int3(static_cast<std::uint32_t>(payload.size())) + static_cast<char>(sequence) + payload;
}

std::string greeting(const Greeting& f) {
    std::string p;
    p += static_cast<char>(f.protocol);
    p += f.version;
    p += '\0';
    p += int4(f.threadId);
    p += f.seed.substr(0, 8);
    p += '\0';
    p += int2(f.capabilities);
    p += static_cast<char>(f.language);
    p += int2(f.status);
    p += std::string(13, '\0');
    p += f.seed.substr(8);
    p += '\0';
    return p;
}

std::string ok(std::uint64_t affected, std::uint64_t insertId, std::uint16_t status,
               const std::string& info) {
    std::string p(1, '\0');
    p.append(lenenc(affected));
    p.append(lenenc(insertId));
    p.append(int2(status));
    p.append(int2(0));
    if (!info.empty()) p.append(lenencString(info));
    return p;
}

std::string error(std::uint16_t number, const std::string& message, const std::string& state) {
    std::string p(1, '\xFF');
    p.append(int2(number));
    if (!state.empty()) {
        p.push_back('#');
        p.append(state);
    }
    p.append(message);
    return p;
}

std::string eof41(std::uint16_t status) {
    std::string p(1, '\xFE');
    p.append(int2(0));
    p.append(int2(status));
    return p;
}

std::string column41(const std::string& table, const std::string& name, std::uint8_t type,
                     std::uint32_t length, std::uint16_t flags, std::uint8_t decimals) {
    return lenencString("def") + lenencString("test") + lenencString(table) + lenencString(table) +
           lenencString(name) + lenencString(name) + lenenc(12) + int2(33) + int4(length) +
           static_cast<char>(type) + int2(flags) + static_cast<char>(decimals) + int2(0);
}

std::string row(const std::vector<std::optional<std::string>>& values) {
    std::string p;
    for (const auto& value : values) p += value ? lenencString(*value) : std::string("\xFB");
    return p;
}

}  // namespace mysqlwire
