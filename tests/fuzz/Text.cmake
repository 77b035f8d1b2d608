# UTF-8 from outside, integers in text and the program's arguments.
orvelle_add_fuzzer(fuzz_text SOURCES ${CMAKE_CURRENT_LIST_DIR}/TextFuzz.cpp LIBS orvelle_app)
