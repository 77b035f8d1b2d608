# The product: 32-bit Windows (PE32), MinGW-w64 cross build.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ORVELLE_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
