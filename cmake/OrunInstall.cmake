# cmake --install puts the program and what sits beside it under the prefix:
# <prefix>/lib/orunapp/{orunapp,config,language,icon}, a launcher in <prefix>/bin
# and a desktop entry.
include(GNUInstallDirs)
set(ORUN_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/orunapp)
if(TARGET orunapp)
    install(TARGETS orunapp RUNTIME DESTINATION ${ORUN_INSTALL_DIR})
endif()
install(DIRECTORY ${ORUN_BIN_DIR}/language ${ORUN_BIN_DIR}/icon
        DESTINATION ${ORUN_INSTALL_DIR} OPTIONAL)
install(DIRECTORY DESTINATION ${ORUN_INSTALL_DIR}/config)
