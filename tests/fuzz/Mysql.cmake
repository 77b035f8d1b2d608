# The MySQL client: the fuzzer's bytes stand in for the server (through the ScriptedSockets
# fake, which the fuzz build does not otherwise compile).
if(NOT TARGET orvelle_fake_sockets)
    include(${PROJECT_SOURCE_DIR}/tests/fakes/Sockets.cmake)
endif()
add_library(orvelle_mysql_fuzz_drivers STATIC ${CMAKE_CURRENT_LIST_DIR}/mysql/MysqlFuzzDrivers.cpp)
target_link_libraries(orvelle_mysql_fuzz_drivers PUBLIC orvelle_headers orvelle_mysql
                                                        orvelle_fake_sockets)
foreach(driver Session Greeting Reply Frames)
    string(TOLOWER ${driver} lower)
    orvelle_add_fuzzer(fuzz_mysql_${lower}
                       SOURCES ${CMAKE_CURRENT_LIST_DIR}/mysql/Mysql${driver}Fuzzer.cpp
                       LIBS orvelle_mysql_fuzz_drivers)
endforeach()
