#include "net/BodySink.h"

#include <exception>

bool MemorySink::append(const char* data, std::size_t size, int& error) {
    try {
        bytes_.append(data, size);
    } catch (const std::exception&) {
        error = 0;  // the engine reports it as memory that could not be had
        return false;
    }
    return true;
}
