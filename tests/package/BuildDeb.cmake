# Makes the Debian package of the build at BUILD_DIR into OUT (emptied first)
# with cpack, then checks its control fields and contents, and that apt would
# install it here (simulated: the machine is left as it was).
file(REMOVE_RECURSE "${OUT}")
execute_process(COMMAND ${CPACK} --config "${BUILD_DIR}/CPackConfig.cmake" -B "${OUT}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cpack failed (${rc}):\n${log}")
endif()
file(GLOB debs "${OUT}/*.deb")
list(LENGTH debs count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one package in ${OUT}, found: ${debs}")
endif()
set(deb "${debs}")
message(STATUS "package: ${deb}")

set(failures "")
function(field name out)
    execute_process(COMMAND dpkg-deb --field "${deb}" ${name} OUTPUT_VARIABLE value
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(${out} "${value}" PARENT_SCOPE)
endfunction()

execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE arch
                OUTPUT_STRIP_TRAILING_WHITESPACE)
field(Package package)
field(Version version)
field(Architecture architecture)
field(Depends depends)
message(STATUS "Depends: ${depends}")
if(NOT package STREQUAL "orunapp")
    list(APPEND failures "Package is '${package}'")
endif()
if(NOT version STREQUAL VERSION)
    list(APPEND failures "Version is '${version}', the project's is ${VERSION}")
endif()
if(NOT architecture STREQUAL arch)
    list(APPEND failures "Architecture is '${architecture}', this machine's is ${arch}")
endif()
# Computed from the libraries the program loads, not written by hand.
foreach(lib libqt5widgets5 libqt5network5 libavcodec libopencv-core libsdl2-2.0-0 libc6)
    string(FIND "${depends}" "${lib}" at)
    if(at EQUAL -1)
        list(APPEND failures "Depends lacks ${lib}")
    endif()
endforeach()

# Contents: the install layout under /usr and nothing from the tests, the
# benchmarks or the tools.
execute_process(COMMAND dpkg-deb --contents "${deb}" OUTPUT_VARIABLE listing)
string(REPLACE "\n" ";" lines "${listing}")
set(paths "")
foreach(line ${lines})
    if(line MATCHES " \\./([^ ]*)( -> (.*))?$")
        list(APPEND paths "${CMAKE_MATCH_1}")
        if(CMAKE_MATCH_1 STREQUAL "usr/bin/orunapp")
            set(link "${CMAKE_MATCH_3}")
        endif()
    endif()
endforeach()
foreach(path
        usr/lib/orunapp/orunapp
        usr/lib/orunapp/language/orunapp_en_cn.qm
        usr/lib/orunapp/language/orunapp_zh_cn.qm
        usr/lib/orunapp/icon/stopVideo_16_9.png
        usr/share/applications/orunapp.desktop
        usr/share/icons/hicolor/48x48/apps/orunapp.png
        usr/share/icons/hicolor/256x256/apps/orunapp.png
        usr/share/man/man1/orunapp.1.gz
        usr/share/doc/orunapp/copyright
        usr/share/doc/orunapp/changelog.gz)
    list(FIND paths "${path}" at)
    if(at EQUAL -1)
        list(APPEND failures "missing ${path}")
    endif()
endforeach()
if(NOT link STREQUAL "../lib/orunapp/orunapp")
    list(APPEND failures "usr/bin/orunapp is not the link to the program: '${link}'")
endif()
foreach(path ${paths})
    if(NOT path MATCHES "^(usr/?|usr/(bin|lib|share)/?|usr/bin/orunapp|usr/lib/orunapp(/.*)?|usr/share/(applications|icons|man|doc)(/.*)?)$")
        list(APPEND failures "unexpected ${path}")
    endif()
    if(path MATCHES "usr/lib/orunapp/config")
        list(APPEND failures "a config folder is packaged: ${path}")
    endif()
endforeach()

# apt resolves its dependencies from this machine's package lists.
execute_process(COMMAND apt-get install --simulate --no-install-recommends "${deb}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT rc EQUAL 0)
    list(APPEND failures "apt-get install --simulate failed:\n${log}")
endif()

if(failures)
    string(REPLACE ";" "\n  " text "${failures}")
    message(FATAL_ERROR "package ${deb}:\n  ${text}")
endif()
