# Installs the build at BUILD_DIR into PREFIX (emptied first) and checks the
# layout: the program, its folders, the launcher link, the desktop entry with
# its icons, the manual page.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

set(failures "")
set(app "${PREFIX}/lib/orunapp")
foreach(path
        "${app}/orunapp"
        "${app}/language/orunapp_en_cn.qm"
        "${app}/language/orunapp_zh_cn.qm"
        "${app}/icon/stopVideo_16_9.png" "${app}/icon/stopVideo_9_16.png"
        "${app}/icon/stopVideo_4_3.png" "${app}/icon/stopVideo_3_4.png"
        "${app}/icon/stopVideo_1_1.png"
        "${PREFIX}/share/applications/orunapp.desktop"
        "${PREFIX}/share/icons/hicolor/48x48/apps/orunapp.png"
        "${PREFIX}/share/icons/hicolor/64x64/apps/orunapp.png"
        "${PREFIX}/share/icons/hicolor/128x128/apps/orunapp.png"
        "${PREFIX}/share/icons/hicolor/256x256/apps/orunapp.png"
        "${PREFIX}/share/man/man1/orunapp.1.gz"
        "${PREFIX}/share/doc/orunapp/copyright")
    if(NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
        list(APPEND failures "missing file ${path}")
    endif()
endforeach()
# The program makes its config folder when it first saves a setting, and only
# where it may write.
if(EXISTS "${app}/config")
    list(APPEND failures "${app}/config is installed")
endif()

# The launcher is a relative link, so the prefix can be moved.
if(NOT IS_SYMLINK "${PREFIX}/bin/orunapp")
    list(APPEND failures "bin/orunapp is not a symbolic link")
else()
    file(READ_SYMLINK "${PREFIX}/bin/orunapp" link)
    if(NOT link STREQUAL "../lib/orunapp/orunapp")
        list(APPEND failures "bin/orunapp points to ${link}")
    endif()
endif()
execute_process(COMMAND test -x "${PREFIX}/bin/orunapp" RESULT_VARIABLE not_exec)
if(NOT not_exec EQUAL 0)
    list(APPEND failures "bin/orunapp does not lead to an executable")
endif()

set(desktop "${PREFIX}/share/applications/orunapp.desktop")
if(EXISTS "${desktop}")
    file(STRINGS "${desktop}" lines)
    list(GET lines 0 first)
    if(NOT first STREQUAL "[Desktop Entry]")
        list(APPEND failures "desktop entry starts with ${first}")
    endif()
    foreach(key "Type=Application" "Exec=orunapp" "Icon=orunapp" "Name=orunapp")
        list(FIND lines "${key}" at)
        if(at EQUAL -1)
            list(APPEND failures "desktop entry lacks ${key}")
        endif()
    endforeach()
endif()

if(failures)
    string(REPLACE ";" "\n  " text "${failures}")
    message(FATAL_ERROR "install layout:\n  ${text}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
