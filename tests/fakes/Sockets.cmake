# ScriptedSockets: the byte-script fake of platform::Sockets (unit tests and fuzz targets).
add_library(orvelle_fake_sockets STATIC ${CMAKE_CURRENT_LIST_DIR}/ScriptedSockets.cpp)
target_link_libraries(orvelle_fake_sockets PUBLIC orvelle_headers)
