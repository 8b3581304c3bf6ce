# orun_test(NAME SOURCES ... [LIBS ...] [LOCKS ...] [OFFSCREEN] [XVFB] [OWN_MOUNTS] [TIMEOUT s])
#
# Builds one GoogleTest program and registers each TEST of its sources as its
# own CTest test, so that the suite runs in parallel.
#  LOCKS      CTest resource locks (port7777, port9999, port11155) for tests
#             that bind the fixed ports (see below).
#  OFFSCREEN  widget tests: run with QT_QPA_PLATFORM=offscreen.
#  XVFB       OpenGL tests: run under xvfb-run (a real X server with Mesa).
#  OWN_MOUNTS tests of folders that cannot be written and of a full disk: run
#             in a mount namespace with a read-only and a small file system
#             (tests/support/own-mounts.sh) where the host allows one; their
#             tests skip elsewhere.
# Each program gets a Qt application object from tests/support/TestMain.cpp
# (QApplication for OFFSCREEN and XVFB, QCoreApplication otherwise).
# Tests run in build/bin, next to config/, language/ and icon/. Screenshots and
# other artifacts go to the folder named by ORUN_TEST_ARTIFACTS.
#
# Where the host allows network namespaces (as root, or for ordinary users
# where the kernel lets them have one), a test holding a port lock runs in a
# namespace of its own with only a loopback device instead: it cannot meet
# another test's sockets there, so those tests run side by side. Elsewhere
# they take turns through the locks.

set(ORUN_OWN_NETWORK "")
find_program(ORUN_UNSHARE_COMMAND unshare)
find_program(ORUN_IP_COMMAND ip PATHS /usr/sbin /sbin)
if(ORUN_UNSHARE_COMMAND AND ORUN_IP_COMMAND)
    foreach(options -n -rn)
        execute_process(COMMAND ${ORUN_UNSHARE_COMMAND} ${options} -- ${ORUN_IP_COMMAND} link set lo up
                        RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
        if(rc EQUAL 0)
            set(ORUN_OWN_NETWORK ${CMAKE_SOURCE_DIR}/tests/support/own-network.sh ${options}
                                 ${ORUN_IP_COMMAND})
            break()
        endif()
    endforeach()
endif()
if(ORUN_OWN_NETWORK)
    message(STATUS "Tests that bind the fixed ports: each in a network namespace of its own")
else()
    message(STATUS "Tests that bind the fixed ports: one at a time (no network namespaces here)")
endif()
set(ORUN_OWN_MOUNTS "")
if(ORUN_UNSHARE_COMMAND)
    foreach(options -m -rm)
        execute_process(COMMAND ${CMAKE_SOURCE_DIR}/tests/support/own-mounts.sh ${options} true
                        RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
        if(rc EQUAL 0)
            set(ORUN_OWN_MOUNTS ${CMAKE_SOURCE_DIR}/tests/support/own-mounts.sh ${options})
            break()
        endif()
    endforeach()
endif()
if(ORUN_OWN_MOUNTS)
    message(STATUS "Tests of unwritable folders and full disks: in a mount namespace of their own")
else()
    message(STATUS "Tests of unwritable folders and full disks: skipped (no mount namespaces here)")
endif()

function(orun_test name)
    cmake_parse_arguments(ARG "OFFSCREEN;XVFB;OWN_MOUNTS" "TIMEOUT" "SOURCES;LIBS;LOCKS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE ${ORUN_WARNINGS})
    if(ARG_OFFSCREEN OR ARG_XVFB)
        set(test_main orun_test_main_gui)
    else()
        set(test_main orun_test_main)
    endif()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} ${test_main} GTest::gtest GTest::gmock
                          Threads::Threads)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests-bin)
    # add_test runs a target through its emulator, which is how each test gets
    # its own network namespace and its own X server.
    set(emulator "")
    if(ARG_OWN_MOUNTS AND ORUN_OWN_MOUNTS)
        set(emulator ${ORUN_OWN_MOUNTS})
    endif()
    set(binds_ports ${ARG_LOCKS})
    if(binds_ports AND ORUN_OWN_NETWORK)
        list(APPEND emulator ${ORUN_OWN_NETWORK})
        set(ARG_LOCKS "")
    endif()
    if(ARG_XVFB)
        list(APPEND emulator xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp")
        # xvfb-run -a picks a free display number by trial; two starting at
        # once can pick the same one, so X-server tests take turns.
        list(APPEND ARG_LOCKS xvfb)
    endif()
    if(emulator)
        set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${emulator}")
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    set(env "ORUN_TEST_ARTIFACTS=${CMAKE_BINARY_DIR}/test-artifacts")
    if(ARG_OFFSCREEN)
        list(APPEND env "QT_QPA_PLATFORM=offscreen")
    endif()
    gtest_add_tests(TARGET ${name} SOURCES ${ARG_SOURCES} TEST_LIST tests
                    WORKING_DIRECTORY ${ORUN_BIN_DIR})
    # Until CTest has timed a run of its own (a fresh build), it starts the
    # tests by this cost: the X-server tests first, as they take turns and
    # are the longest chain, then the tests of the camera's ports (real time
    # against camsim), then the rest.
    if(ARG_XVFB)
        set(cost 3)
    elseif(binds_ports)
        set(cost 2)
    else()
        set(cost 1)
    endif()
    foreach(t ${tests})
        set_tests_properties(${t} PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${env}"
                             LABELS ${name} COST ${cost})
        if(ARG_LOCKS)
            set_tests_properties(${t} PROPERTIES RESOURCE_LOCK "${ARG_LOCKS}")
        endif()
    endforeach()
endfunction()
