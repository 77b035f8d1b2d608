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

# Every test runs under tests/support/reap.py, which ends whatever the test left running so that no
# test outlives itself, and fails a test that left a process behind other than Wine's own and the
# programs named with LEAVES (ones the tested program was meant to start and leave running); the
# run's summary fails a test registered without it. Tests labelled "report" write a JUnit report named after the
# test into $ORVELLE_TEST_REPORTS (GoogleTest through GTEST_OUTPUT, scripts through
# tests/support/cases.sh or junit.py), and the summary counts them case by case; a report that is
# missing or holds no case fails the run.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(ORVELLE_TEST_REAPER ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/support/reap.py)

# CTest may run several suites at once (scripts/test: ctest -j 2). A suite that uses a real peer
# names it (PEERS mariadb, web: nginx, squid and the office proxies), and suites that share a peer
# take turns; window tests run alone, as their waits for a window to paint are the first to
# suffer from a busy machine.
function(orvelle_test_scheduling name labels peers)
    if(peers)
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${peers}")
    endif()
    if("gui" IN_LIST labels)
        set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
    endif()
endfunction()

# The reaper's command line for a test that may leave the programs named.
function(orvelle_test_reaper out)
    set(reaper ${ORVELLE_TEST_REAPER})
    foreach(name ${ARGN})
        list(APPEND reaper --leaves ${name})
    endforeach()
    set(${out} ${reaper} PARENT_SCOPE)
endfunction()

# The command of a test: a target is run by its file, under Wine for the Windows build.
function(orvelle_test_command out first)
    if(TARGET ${first})
        set(command $<TARGET_FILE:${first}>)
        get_target_property(kind ${first} TYPE)
        if(CMAKE_CROSSCOMPILING AND kind STREQUAL "EXECUTABLE")
            list(PREPEND command ${CMAKE_CROSSCOMPILING_EMULATOR})
        endif()
    else()
        set(command ${first})
    endif()
    set(${out} ${command} ${ARGN} PARENT_SCOPE)
endfunction()

# orvelle_add_test(NAME SOURCES ... LIBS ... [LABELS ...] [PEERS ...] [SESSION_BUS] [QT])
# One GoogleTest executable per area; CTest runs it whole (under Wine for the Windows build).
# SESSION_BUS runs it inside a private D-Bus session (Linux), as a desktop session has one.
# On Linux GoogleTest's headers come precompiled (tests/support), except for a program that Qt
# makes position-independent (QT), which they do not fit.
function(orvelle_add_test name)
    cmake_parse_arguments(ARG "SESSION_BUS;QT" "" "SOURCES;LIBS;LABELS;PEERS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE orvelle_headers ${ARG_LIBS} GTest::gmock GTest::gtest)
    if(NOT WIN32 AND NOT ARG_QT)
        target_precompile_headers(${name} REUSE_FROM orvelle_test_main)
    endif()
    # The Windows builds are optimised as the product ships; their test programs themselves need
    # not be, and compile a fifth faster for it.
    if(WIN32)
        target_compile_options(${name} PRIVATE -O1)
    endif()
    orvelle_test_command(command ${name})
    if(ARG_SESSION_BUS AND NOT WIN32)
        list(PREPEND command dbus-run-session --)
    endif()
    add_test(NAME ${name} COMMAND ${ORVELLE_TEST_REAPER} ${command})
    # A suite takes seconds; a hang should not hold the run for CTest's default quarter hour.
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS};report" TIMEOUT 300)
    orvelle_test_scheduling(${name} "${ARG_LABELS}" "${ARG_PEERS}")
endfunction()

# orvelle_add_script_test(NAME COMMAND ... [LABELS ...] [TIMEOUT seconds] [SKIP_RETURN_CODE n]
#                         [PEERS ...] [LEAVES program...] [SESSION_BUS])
# A test script that reports its cases (tests/support/cases.sh or junit.py). SESSION_BUS as for
# orvelle_add_test: a Qt program without a session bus starts one of its own that outlives it.
function(orvelle_add_script_test name)
    cmake_parse_arguments(ARG "SESSION_BUS" "TIMEOUT;SKIP_RETURN_CODE"
                          "COMMAND;LABELS;LEAVES;PEERS" ${ARGN})
    orvelle_test_command(command ${ARG_COMMAND})
    if(ARG_SESSION_BUS AND NOT WIN32)
        list(PREPEND command dbus-run-session --)
    endif()
    orvelle_test_reaper(reaper ${ARG_LEAVES})
    add_test(NAME ${name} COMMAND ${reaper} ${command})
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS};report"
                                            ENVIRONMENT "ORVELLE_TEST_NAME=${name}")
    orvelle_test_scheduling(${name} "${ARG_LABELS}" "${ARG_PEERS}")
    if(ARG_TIMEOUT)
        set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
    endif()
    if(DEFINED ARG_SKIP_RETURN_CODE)
        set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE ${ARG_SKIP_RETURN_CODE})
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
