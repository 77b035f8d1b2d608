// libFuzzer entry: the MySQL client's frames driver (see MysqlFuzzDrivers.h).
#include "tests/fuzz/mysql/MysqlFuzzDrivers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mysqlfuzz::frames(data, size);
    return 0;
}
