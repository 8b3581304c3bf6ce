# lintian on the package that BuildDeb.cmake left in OUT: no error allowed.
# The warnings it shows are listed, with the reasons they stay, in the README.
file(GLOB debs "${OUT}/*.deb")
if(NOT debs)
    message(FATAL_ERROR "no package in ${OUT}")
endif()
find_program(LINTIAN lintian)
if(NOT LINTIAN)
    message(FATAL_ERROR "lintian is missing (Debian package lintian)")
endif()
execute_process(COMMAND ${LINTIAN} --fail-on error --info ${debs}
                RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
message("${log}")
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "lintian found errors (${rc})")
endif()
