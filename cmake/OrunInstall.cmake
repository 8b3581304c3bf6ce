# cmake --install puts the program and what it reads beside itself under the
# prefix:
#   <prefix>/lib/orunapp/orunapp                the program
#   <prefix>/lib/orunapp/{config,language,icon} its configuration folder,
#                                               translations, stop-video pictures
#   <prefix>/bin/orunapp                        relative symbolic link to the program
#   <prefix>/share/applications/orunapp.desktop desktop entry
#   <prefix>/share/icons/hicolor/128x128/apps/orunapp.png
# The program finds config/ and language/ through its own (resolved) path, so
# the link in bin/ works from anywhere. The configuration folder stays empty:
# the program writes config.ini there on first use.
include(GNUInstallDirs)
set(ORUN_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/orunapp)

if(TARGET orunapp)
    install(TARGETS orunapp RUNTIME DESTINATION ${ORUN_INSTALL_DIR})
    # Translations and stop-video pictures are made by orun_resources, which
    # the program depends on; they are in the build's bin folder once it is built.
    install(DIRECTORY ${ORUN_BIN_DIR}/language ${ORUN_BIN_DIR}/icon
            DESTINATION ${ORUN_INSTALL_DIR})
    install(DIRECTORY DESTINATION ${ORUN_INSTALL_DIR}/config)
    install(CODE "
        set(_bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
        file(MAKE_DIRECTORY \"\${_bin}\")
        file(REMOVE \"\${_bin}/orunapp\")
        file(RELATIVE_PATH _target \"\${_bin}\"
             \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${ORUN_INSTALL_DIR}/orunapp\")
        message(STATUS \"Installing: \${_bin}/orunapp -> \${_target}\")
        file(CREATE_LINK \"\${_target}\" \"\${_bin}/orunapp\" SYMBOLIC)
    ")
    install(FILES ${PROJECT_SOURCE_DIR}/resources/orunapp.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/btn_camera_n2x.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps
            RENAME orunapp.png)
endif()
