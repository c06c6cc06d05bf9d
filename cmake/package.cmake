# Debian packages, one per install component, made by CPack from a built tree:
#   cpack --config <build>/CPackConfig.cmake   (scripts/package does it)
# writes libzok0, libzok-dev, python3-zok, zok-tools (zok-track, zok-mavlink) and gstreamer1.0-zok to <build>/packages. Their run-time
# dependencies on shared libraries are computed by dpkg-shlibdeps (dpkg-dev).
if(SKBUILD)
    return()  # a wheel's build: none of this goes into the wheel
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zok)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${ZOK_PACKAGE_ORIGIN})
# CPack prepends the summary to every description unless it is its own default, which it is
# here: each component's description starts with a summary of its own.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_NAME} built using CMake")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ZOK_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

# The first line of each description is the package's summary.
set(CPACK_COMPONENTS_ALL lib dev)
set(CPACK_DEBIAN_LIB_PACKAGE_NAME libzok${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIB_DESCRIPTION "zok correlation tracker - shared library
zok follows one target through a video by normalised cross-correlation of a
template and reports the target's offset from the image centre.")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libzok-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The CMake package and zok.pc find OpenCV through its own CMake package and opencv4.pc, which
# only libopencv-dev ships.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS libopencv-dev)
set(CPACK_COMPONENT_DEV_DEPENDS lib)
set(CPACK_DEBIAN_DEV_DESCRIPTION "zok correlation tracker - development files
Headers, the CMake package (find_package(zok), target zok::zok) and zok.pc.")
if(ZOK_BUILD_PYTHON)
    # The extension is made for one interpreter version and one numpy ABI.
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    math(EXPR python_next "${Python3_VERSION_MINOR} + 1")
    set(python_major_minor ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR})
    list(APPEND CPACK_COMPONENTS_ALL python)
    set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-zok)
    set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
    set(python_depends
        "python3 (>= ${python_major_minor}), python3 (<< ${Python3_VERSION_MAJOR}.${python_next})")
    set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "${python_depends}, python3-numpy, python3-numpy-abi9")
    set(CPACK_DEBIAN_PYTHON_PACKAGE_RECOMMENDS python3-opencv)
    set(CPACK_DEBIAN_PYTHON_DESCRIPTION "zok correlation tracker - Python 3 module
The package zok: zok.PyTrackerCorr and zok.TrackerDcf track a target through
numpy frames, over the extension modules zok._zok and zok._zok_dcf.")
endif()
if(ZOK_BUILD_APPS)
    list(APPEND CPACK_COMPONENTS_ALL tools)
    set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME zok-tools)
    set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION graphics)
    set(CPACK_DEBIAN_TOOLS_DESCRIPTION "zok correlation tracker - command-line tools
zok-track follows a target through a video file, a camera or a folder of images
and writes its box and centre offset per frame as CSV or JSON lines.
zok-mavlink is a MAVLink 2 tracking camera for a drone's companion computer: it
tracks what the ground station marks on the video and steers the gimbal.")
endif()

if(ZOK_WITH_GSTREAMER)
    # The plugin is made from the library's objects, so it needs no libzok0.
    list(APPEND CPACK_COMPONENTS_ALL gst)
    set(CPACK_DEBIAN_GST_PACKAGE_NAME gstreamer1.0-zok)
    set(CPACK_DEBIAN_GST_PACKAGE_SECTION video)
    set(CPACK_DEBIAN_GST_PACKAGE_RECOMMENDS gstreamer1.0-plugins-base)
    set(CPACK_DEBIAN_GST_DESCRIPTION "zok correlation tracker - GStreamer element
The GStreamer plugin zok with the element zoktrack, which follows a target
through live video in a pipeline and reports its box and the offset of its
centre from the frame's centre on every frame, as a buffer meta (header
zok/zoktrack_meta.h) and as an element message on the bus.")
endif()

# Every package carries the licence as /usr/share/doc/<package>/copyright. Only the packages
# install it (EXCLUDE_FROM_ALL keeps it out of a plain cmake --install).
if(ZOK_WITH_FFTW)
    set(ZOK_COPYRIGHT_FFTW_COMMENT "
 The binaries link FFTW 3, licensed under the GNU GPL, version 2 or later. As a
 whole they may therefore be distributed only under the GNU GPL, version 3 or
 later, whose terms are compatible with the Apache License 2.0. On Debian
 systems the GPL is found in \"/usr/share/common-licenses/GPL-3\".")
endif()
configure_file(cmake/debian/copyright.in ${PROJECT_BINARY_DIR}/debian/copyright @ONLY)
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
    string(TOUPPER ${component} upper)
    install(FILES ${PROJECT_BINARY_DIR}/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
        COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

include(CPack)
