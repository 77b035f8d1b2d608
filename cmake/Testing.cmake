# GoogleTest: Debian's prebuilt libraries natively, compiled from the sources
# that libgtest-dev ships for the Windows cross build.
if(NOT ORVELLE_BUILD_TESTS)
    # Only the helper functions below are needed (fuzz builds).
elseif(CMAKE_CROSSCOMPILING)
    enable_testing()
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
    enable_testing()
    find_package(GTest REQUIRED)
endif()

# orvelle_add_test(NAME SOURCES ... LIBS ... [LABELS ...])
# One executable per area; CTest runs it whole (under Wine for the Windows build).
function(orvelle_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE orvelle_headers ${ARG_LIBS} GTest::gmock GTest::gtest)
    add_test(NAME ${name} COMMAND ${name})
    if(ARG_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
    endif()
endfunction()

# Adds every immediate sub-folder of the current folder that has a CMakeLists.txt, so that an
# area's tests join the build by existing.
function(orvelle_add_subfolders)
    file(GLOB lists CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
    foreach(list ${lists})
        get_filename_component(dir ${list} DIRECTORY)
        add_subdirectory(${dir})
    endforeach()
endfunction()
