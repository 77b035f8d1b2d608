# The texts the Linux HTTP back end and the engine read from outside: URLs, proxy lists, KDE's
# proxy file, response heads, Content-Length and Content-Range.
orvelle_add_fuzzer(fuzz_http_text SOURCES ${CMAKE_CURRENT_LIST_DIR}/HttpTextFuzz.cpp
                   LIBS orvelle_net platform_Http LINUX_ONLY)
