# Splitting command lines (from the progress file) and the quoting that must round-trip through it.
orvelle_add_fuzzer(fuzz_windows_command_line
                   SOURCES ${CMAKE_CURRENT_LIST_DIR}/WindowsCommandLineFuzz.cpp
                   LIBS orvelle_common)
