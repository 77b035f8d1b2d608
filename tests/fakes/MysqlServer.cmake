# FakeMysqlServer: the scriptable MySQL server on loopback that runs inside a test process.
if(WIN32)
    set(loopback_backend win32)
else()
    set(loopback_backend posix)
endif()
add_library(orvelle_fake_mysql_server STATIC
            ${CMAKE_CURRENT_LIST_DIR}/FakeMysqlServer.cpp
            ${CMAKE_CURRENT_LIST_DIR}/LoopbackSocket_${loopback_backend}.cpp)
target_link_libraries(orvelle_fake_mysql_server PUBLIC orvelle_headers)
if(WIN32)
    target_link_libraries(orvelle_fake_mysql_server PUBLIC ws2_32)
else()
    find_package(Threads REQUIRED)
    target_link_libraries(orvelle_fake_mysql_server PUBLIC Threads::Threads)
endif()
