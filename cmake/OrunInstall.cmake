# cmake --install puts the program and what it reads beside itself under the
# prefix:
#   <prefix>/lib/orunapp/orunapp                the program
#   <prefix>/lib/orunapp/{language,icon}        translations, stop-video pictures
#   <prefix>/bin/orunapp                        relative symbolic link to the program
#   <prefix>/share/applications/orunapp.desktop desktop entry
#   <prefix>/share/icons/hicolor/<n>x<n>/apps/orunapp.png  its icon, n = 48, 64, 128, 256
#   <prefix>/share/man/man1/orunapp.1.gz        manual page
#   <prefix>/share/doc/orunapp/                 copyright and change log
# The program finds language/ and icon/ through its own (resolved) path, so the
# link in bin/ works from anywhere. No config/ folder is installed: the program
# keeps its settings in <prefix>/lib/orunapp/config/ when it may write there
# (a prefix of the user's own), and in the user's configuration folder
# otherwise (app/Configuration.h).
include(GNUInstallDirs)
set(ORUN_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/orunapp)

if(TARGET orunapp)
    install(TARGETS orunapp RUNTIME DESTINATION ${ORUN_INSTALL_DIR})
    # Translations and stop-video pictures are made by orun_resources, which
    # the program depends on; they are in the build's bin folder once it is built.
    install(DIRECTORY ${ORUN_BIN_DIR}/language ${ORUN_BIN_DIR}/icon
            DESTINATION ${ORUN_INSTALL_DIR})
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
    foreach(size 48 64 128 256)
        install(FILES ${PROJECT_SOURCE_DIR}/resources/appicon/orunapp_${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME orunapp.png)
    endforeach()

    # Manual page and change log, compressed as Debian keeps them (gzip -9n:
    # no name or time stamp inside, so the same input gives the same bytes).
    find_program(ORUN_GZIP gzip)
    string(TIMESTAMP ORUN_RELEASE_DATE "%Y-%m-%d" UTC)
    string(TIMESTAMP ORUN_RELEASE_TIME "%a, %d %b %Y %H:%M:%S +0000" UTC)
    set(ORUN_PACKAGE_MAINTAINER "orunapp maintainers <maintainers@users.noreply.c-seed-9da41b81.example>"
        CACHE STRING "Maintainer named in the Debian package and its change log")
    configure_file(${PROJECT_SOURCE_DIR}/resources/orunapp.1.in ${CMAKE_BINARY_DIR}/doc/orunapp.1 @ONLY)
    configure_file(${PROJECT_SOURCE_DIR}/resources/changelog.in ${CMAKE_BINARY_DIR}/doc/changelog @ONLY)
    if(ORUN_GZIP)
        set(ORUN_DOC_FILES "")
        foreach(doc orunapp.1 changelog)
            add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/doc/${doc}.gz
                COMMAND ${ORUN_GZIP} -9nf -k ${CMAKE_BINARY_DIR}/doc/${doc}
                DEPENDS ${CMAKE_BINARY_DIR}/doc/${doc}
                COMMENT "Compressing ${doc}")
            list(APPEND ORUN_DOC_FILES ${CMAKE_BINARY_DIR}/doc/${doc}.gz)
        endforeach()
        add_custom_target(orun_docs ALL DEPENDS ${ORUN_DOC_FILES})
        # Building the program alone is enough for cmake --install.
        add_dependencies(orunapp orun_docs)
        install(FILES ${CMAKE_BINARY_DIR}/doc/orunapp.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
        install(FILES ${CMAKE_BINARY_DIR}/doc/changelog.gz
                DESTINATION ${CMAKE_INSTALL_DOCDIR})
    endif()
    install(FILES ${PROJECT_SOURCE_DIR}/resources/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

    include(OrunPackage)
endif()
