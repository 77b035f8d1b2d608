// The one process-wide registry of platform services: main (or a test fixture) installs the
// real or fake implementations once, and portable code reaches them through the accessors.
#pragma once

#include <cassert>

namespace platform {

class System;
class Sockets;
class Http;
class Toolkit;
class Taskbar;

namespace detail {
template <class Service>
Service*& slot() {
    static Service* installed = nullptr;
    return installed;
}
}  // namespace detail

// Installs (or, with nullptr, removes) the implementation of one service. Not owning: the
// installer keeps the object alive while it is installed. Returns the previous one, so that
// a test fixture can restore it.
template <class Service>
Service* install(Service* service) {
    Service* previous = detail::slot<Service>();
    detail::slot<Service>() = service;
    return previous;
}

template <class Service>
Service& get() {
    Service* service = detail::slot<Service>();
    assert(service && "platform service used before it was installed");
    return *service;
}

template <class Service>
bool installed() {
    return detail::slot<Service>() != nullptr;
}

}  // namespace platform
