// A socket seam fed with what a server sends, for replaying captured or fuzzed bytes through
// the client: the bytes are the server's answers, which arrive only after each command.
#pragma once

#include "tests/fakes/ScriptedSockets.h"

class FedSockets : public ScriptedSockets {
  public:
    FedSockets() {
        // One byte per receive: the transport's read-ahead then never holds bytes of a later
        // answer, which the drain before the next command would rightly discard.
        readChunk = 1;
    }
    // Before a command the client drains what is pending without blocking; it finds nothing.
    int setNonBlocking(Handle socket, bool nonBlocking) override {
        fnonBlocking = nonBlocking;
        return ScriptedSockets::setNonBlocking(socket, nonBlocking);
    }
    int receive(Handle socket, void* buffer, int size) override {
        fwouldBlock = fnonBlocking;
        return fnonBlocking ? -1 : ScriptedSockets::receive(socket, buffer, size);
    }
    int lastSocketError() override {
        return fwouldBlock ? 10035 : ScriptedSockets::lastSocketError();
    }

  private:
    bool fnonBlocking = false;
    bool fwouldBlock = false;
};
