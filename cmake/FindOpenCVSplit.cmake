# Finds the OpenCV modules the client uses (core, imgproc, imgcodecs).
#
# Debian's split packages libopencv-core-dev, libopencv-imgproc-dev and
# libopencv-imgcodecs-dev install the headers and libraries but no CMake or
# pkg-config files, so the modules are located by hand. When a full OpenCV
# installation with its CMake package is present it is used instead.
#
# Defines the imported targets OpenCV::core, OpenCV::imgproc, OpenCV::imgcodecs.

find_package(OpenCV 4 QUIET COMPONENTS core imgproc imgcodecs CONFIG)
if(OpenCV_FOUND)
    foreach(module core imgproc imgcodecs)
        if(NOT TARGET OpenCV::${module})
            add_library(OpenCV::${module} INTERFACE IMPORTED)
            set_target_properties(OpenCV::${module} PROPERTIES
                INTERFACE_LINK_LIBRARIES opencv_${module}
                INTERFACE_INCLUDE_DIRECTORIES "${OpenCV_INCLUDE_DIRS}")
        endif()
    endforeach()
    set(OpenCVSplit_FOUND TRUE)
    return()
endif()

find_path(OpenCVSplit_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4)
set(_opencv_required OpenCVSplit_INCLUDE_DIR)
foreach(module core imgproc imgcodecs)
    find_library(OpenCVSplit_${module}_LIBRARY NAMES opencv_${module})
    list(APPEND _opencv_required OpenCVSplit_${module}_LIBRARY)
endforeach()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(OpenCVSplit REQUIRED_VARS ${_opencv_required})

if(OpenCVSplit_FOUND)
    foreach(module core imgproc imgcodecs)
        if(NOT TARGET OpenCV::${module})
            add_library(OpenCV::${module} UNKNOWN IMPORTED)
            set_target_properties(OpenCV::${module} PROPERTIES
                IMPORTED_LOCATION "${OpenCVSplit_${module}_LIBRARY}"
                INTERFACE_INCLUDE_DIRECTORIES "${OpenCVSplit_INCLUDE_DIR}")
        endif()
    endforeach()
    set_property(TARGET OpenCV::imgproc APPEND PROPERTY INTERFACE_LINK_LIBRARIES OpenCV::core)
    set_property(TARGET OpenCV::imgcodecs APPEND PROPERTY INTERFACE_LINK_LIBRARIES OpenCV::imgproc)
endif()
mark_as_advanced(OpenCVSplit_INCLUDE_DIR)
