# The same Windows sources as a 64-bit build: what the tests run under wine64 only on a machine
# where 32-bit programs (and so 32-bit Wine) cannot start.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORVELLE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
