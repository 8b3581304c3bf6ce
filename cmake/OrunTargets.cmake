# orun_library(NAME SOURCES... [LIBS ...]): a static library of one subsystem
# folder, compiled with the project's warnings, its folder's parent on the
# include path so that headers are included as "camera/ControlFrame.h".
function(orun_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE ${ORUN_WARNINGS})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()
