# The same Windows sources as a 64-bit build: this is what the tests run under Wine, because the
# kernel of our build machines refuses 32-bit executables and so 32-bit Wine cannot start.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORVELLE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
