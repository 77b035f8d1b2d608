// libFuzzer entry: the MySQL client's reply driver (see MysqlFuzzDrivers.h).
#include "tests/fuzz/mysql/MysqlFuzzDrivers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mysqlfuzz::reply(data, size);
    return 0;
}
