# The manifest's hash lines and the detached signature: both arrive from the update server.
orvelle_add_fuzzer(fuzz_trust SOURCES ${CMAKE_CURRENT_LIST_DIR}/TrustFuzz.cpp LIBS orvelle_run)
