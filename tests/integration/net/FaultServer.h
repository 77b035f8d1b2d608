// Our own HTTP server on loopback, in the test process, for what real servers will not do on
// request: cut a body after N bytes, stall, ignore a range, drop or repeat Content-Length, send
// a chunked body, trickle a head or a body, change a file between two requests and still answer a
// range of it. Each resource declares its behaviour; requests are served one after the other, each
// on its own connection (Connection: close).
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "TestSockets.h"

namespace testnet {

struct Fault {
    // trickle: after afterBytes, one body byte every 100 ms; trickleHead: the head so, too.
    enum class Kind { none, cut, stall, trickle, trickleHead };
    Kind kind = Kind::none;
    std::size_t afterBytes = 0;  // body bytes sent before the fault
};

struct Resource {
    std::string body;
    int status = 200;
    bool contentLength = true;
    std::optional<std::string> acceptRanges;  // the header's value; absent when nullopt
    bool honourRanges = true;                 // false: a range request gets 200 and everything
    std::string etag;                         // sent (quoted as given) when not empty
    // From the second request on the resource is this one instead, when not empty.
    std::string changedBody;
    std::string changedEtag;
    std::vector<Fault> faults;              // by request number for this resource
    bool chunked = false;                   // Transfer-Encoding: chunked instead of Content-Length
    bool repeatLength = false;              // Content-Length sent twice
    std::vector<std::string> extraHeaders;  // further header lines, as given
    std::string contentRange;               // sent instead of the true range when not empty
    bool ignoreIfRange = false;             // answers a range even for a changed file
    std::size_t rangeShift = 0;             // serves a range from this many bytes earlier
};

class FaultServer {
  public:
    explicit FaultServer(std::map<std::string, Resource> resources);
    ~FaultServer();
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    std::uint16_t port() const { return port_; }
    std::string url(const std::string& target) const;
    // The request heads received so far, in order.
    std::vector<std::string> requests();

  private:
    void serve();
    void answer(Socket client, const std::string& head);
    void trickle(Socket client, const std::string& bytes, std::size_t from);

    std::map<std::string, Resource> resources_;
    std::map<std::string, int> served_;
    std::uint16_t port_ = 0;
    Socket listener_ = kNoSocket;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// The value of a request header (case-insensitive name), empty when absent.
std::string headerValue(const std::string& head, const std::string& name);
// The request target of a request head ("GET /a?b HTTP/1.1" gives "/a?b").
std::string requestTarget(const std::string& head);

}  // namespace testnet
