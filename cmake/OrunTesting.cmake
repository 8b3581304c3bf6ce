# orun_test(NAME SOURCES ... [LIBS ...] [LOCKS ...] [OFFSCREEN] [XVFB] [TIMEOUT s])
#
# Builds one GoogleTest program and registers each TEST of its sources as its
# own CTest test, so that the suite runs in parallel.
#  LOCKS      CTest resource locks (port7777, port9999, port11155) for tests
#             that bind the fixed ports.
#  OFFSCREEN  widget tests: run with QT_QPA_PLATFORM=offscreen.
#  XVFB       OpenGL tests: run under xvfb-run (a real X server with Mesa).
# Each program gets a Qt application object from tests/support/TestMain.cpp
# (QApplication for OFFSCREEN and XVFB, QCoreApplication otherwise).
# Tests run in build/bin, next to config/, language/ and icon/. Screenshots and
# other artifacts go to the folder named by ORUN_TEST_ARTIFACTS.
function(orun_test name)
    cmake_parse_arguments(ARG "OFFSCREEN;XVFB" "TIMEOUT" "SOURCES;LIBS;LOCKS" ${ARGN})
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
    if(ARG_XVFB)
        # add_test runs a target through its emulator, which is how each test
        # gets its own X server.
        set_target_properties(${name} PROPERTIES
            CROSSCOMPILING_EMULATOR "xvfb-run;-a;-s;-screen 0 1920x1080x24 -nolisten tcp")
    endif()
    if(ARG_XVFB)
        # xvfb-run -a picks a free display number by trial; two starting at
        # once can pick the same one, so X-server tests take turns.
        list(APPEND ARG_LOCKS xvfb)
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
    foreach(t ${tests})
        set_tests_properties(${t} PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${env}"
                             LABELS ${name})
        if(ARG_LOCKS)
            set_tests_properties(${t} PROPERTIES RESOURCE_LOCK "${ARG_LOCKS}")
        endif()
    endforeach()
endfunction()
