# The update manifest and the progress file: both are text from outside the program.
orvelle_add_fuzzer(fuzz_manifest SOURCES ${CMAKE_CURRENT_LIST_DIR}/ManifestFuzz.cpp
                   LIBS orvelle_run)
