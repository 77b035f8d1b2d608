// How long and how slowly a transfer may go on before it counts as cut, and how often it is
// tried. Process-wide so that tests can shorten them; the program never changes them.
#pragma once

#include <cstdint>

struct TransferLimits {
    // Once an answer's head has arrived, fewer than minBytes in any window counts as a cut
    // connection: a server trickling bytes must not hold a run for ever.
    std::uint32_t minBytes = 1024;
    std::uint64_t windowMs = 60000;
    // The head must be complete within this time of the request having been sent.
    std::uint64_t headMs = 120000;
    // Attempts of one transfer in all, whatever progress each made.
    int maxAttempts = 10;
};

extern TransferLimits ActiveTransferLimits;
