#include "FaultServer.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>

namespace testnet {
namespace {

constexpr std::size_t kMaxHead = 64 * 1024;
constexpr int kStallLimitMs = 60000;

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

const char* reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 206:
            return "Partial Content";
        case 404:
            return "Not Found";
        case 416:
            return "Range Not Satisfiable";
        default:
            return "Status";
    }
}

}  // namespace

std::string headerValue(const std::string& head, const std::string& name) {
    const std::string wanted = "\r\n" + lower(name) + ":";
    const std::string folded = lower(head);
    const auto at = folded.find(wanted);
    if (at == std::string::npos) return {};
    auto start = at + wanted.size();
    auto end = head.find("\r\n", start);
    while (start < end && head[start] == ' ') ++start;
    return head.substr(start, end - start);
}

std::string requestTarget(const std::string& head) {
    const auto first = head.find(' ');
    const auto second = head.find(' ', first + 1);
    if (first == std::string::npos || second == std::string::npos) return {};
    return head.substr(first + 1, second - first - 1);
}

FaultServer::FaultServer(std::map<std::string, Resource> resources)
    : resources_(std::move(resources)) {
    startSockets();
    listener_ = listenOnLoopback(port_);
    thread_ = std::thread([this] { serve(); });
}

FaultServer::~FaultServer() {
    stopping_ = true;
    thread_.join();
    closeSocket(listener_);
}

std::string FaultServer::url(const std::string& target) const {
    return "http://127.0.0.1:" + std::to_string(port_) + target;
}

std::vector<std::string> FaultServer::requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void FaultServer::serve() {
    while (!stopping_) {
        const Socket client = acceptWithin(listener_, 100);
        if (client == kNoSocket) continue;
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxHead && !stopping_) {
            const int n = receiveWithin(client, buffer, sizeof buffer, 100);
            if (n == -2) continue;
            if (n <= 0) break;
            head.append(buffer, static_cast<std::size_t>(n));
            // A TLS handshake record: refused at once, as a plain HTTP server does.
            if (head[0] == '\x16') break;
        }
        if (head.find("\r\n\r\n") != std::string::npos) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(head);
            }
            answer(client, head);
        }
        closeSocket(client);
    }
}

// Sends bytes from `from` on, one every 100 ms, until they end or the client goes.
void FaultServer::trickle(Socket client, const std::string& bytes, std::size_t from) {
    for (std::size_t at = from; at < bytes.size() && !stopping_; ++at) {
        if (!sendAll(client, bytes.data() + at, 1)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

void FaultServer::answer(Socket client, const std::string& head) {
    const std::string target = requestTarget(head);
    const auto found = resources_.find(target);
    if (found == resources_.end()) {
        const std::string missing =
            "HTTP/1.1 404 Not Found\r\nContent-Length: 7\r\nConnection: close\r\n\r\nmissing";
        sendAll(client, missing.data(), missing.size());
        return;
    }
    const Resource& resource = found->second;
    const int number = served_[target]++;
    const bool changed = number > 0 && !resource.changedBody.empty();
    const std::string& body = changed ? resource.changedBody : resource.body;
    const std::string& etag = changed ? resource.changedEtag : resource.etag;
    const Fault fault = number < static_cast<int>(resource.faults.size())
                            ? resource.faults[static_cast<std::size_t>(number)]
                            : Fault{};

    int status = resource.status;
    std::size_t from = 0;
    const std::string range = headerValue(head, "Range");
    const std::string ifRange = headerValue(head, "If-Range");
    const bool validatorHolds = resource.ignoreIfRange || ifRange.empty() || ifRange == etag;
    if (status == 200 && !range.empty() && resource.honourRanges && validatorHolds &&
        range.rfind("bytes=", 0) == 0) {
        from = std::stoull(range.substr(6));
        from -= std::min(from, resource.rangeShift);
        status = from < body.size() ? 206 : 416;
    }
    std::string response = "HTTP/1.1 " + std::to_string(status) + " " + reason(status) + "\r\n";
    const std::string payload = status == 416 ? std::string() : body.substr(from);
    if (resource.chunked) {
        response += "Transfer-Encoding: chunked\r\n";
    } else if (resource.contentLength) {
        const std::string length = "Content-Length: " + std::to_string(payload.size()) + "\r\n";
        response += resource.repeatLength ? length + length : length;
    }
    for (const std::string& line : resource.extraHeaders) response += line + "\r\n";
    if (!resource.contentRange.empty())
        response += "Content-Range: " + resource.contentRange + "\r\n";
    else if (status == 206)
        response += "Content-Range: bytes " + std::to_string(from) + "-" +
                    std::to_string(body.size() - 1) + "/" + std::to_string(body.size()) + "\r\n";
    if (resource.acceptRanges) response += "Accept-Ranges: " + *resource.acceptRanges + "\r\n";
    if (!etag.empty()) response += "ETag: " + etag + "\r\n";
    response += "Connection: close\r\n\r\n";
    if (fault.kind == Fault::Kind::trickleHead) {
        trickle(client, response, 0);
        return;
    }
    if (!sendAll(client, response.data(), response.size())) return;

    const std::size_t sendable = fault.kind == Fault::Kind::none
                                     ? payload.size()
                                     : std::min(fault.afterBytes, payload.size());
    if (resource.chunked) {
        constexpr std::size_t kChunk = 7000;
        for (std::size_t at = 0; at < sendable; at += kChunk) {
            const std::size_t n = std::min(kChunk, sendable - at);
            char size[32];
            std::snprintf(size, sizeof size, "%lx\r\n", static_cast<unsigned long>(n));
            const std::string chunk = size + payload.substr(at, n) + "\r\n";
            if (!sendAll(client, chunk.data(), chunk.size())) return;
        }
        if (fault.kind == Fault::Kind::none && !sendAll(client, "0\r\n\r\n", 5)) return;
    } else if (!sendAll(client, payload.data(), sendable)) {
        return;
    }
    if (fault.kind == Fault::Kind::trickle) trickle(client, payload, sendable);
    if (fault.kind == Fault::Kind::stall) {
        // Hold the connection silent until the client gives up on it.
        char sink[256];
        for (int waited = 0; waited < kStallLimitMs && !stopping_; waited += 100) {
            const int n = receiveWithin(client, sink, sizeof sink, 100);
            if (n == 0 || n == -1) break;
        }
    }
}

}  // namespace testnet
