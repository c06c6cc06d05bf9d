# Installs the library, its headers, a CMake package (find_package(zok) -> zok::zok) and zok.pc.
# Each file belongs to one component, which cmake/package.cmake turns into one Debian package:
# lib (the shared library), dev (everything a program building against it needs).
include(CMakePackageConfigHelpers)

set(ZOK_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/zok)

install(TARGETS zok EXPORT zokTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT lib
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/zok DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(EXPORT zokTargets NAMESPACE zok:: DESTINATION ${ZOK_INSTALL_CMAKEDIR} COMPONENT dev)

configure_package_config_file(cmake/zokConfig.cmake.in
    ${PROJECT_BINARY_DIR}/zokConfig.cmake INSTALL_DESTINATION ${ZOK_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/zokConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/zokConfig.cmake ${PROJECT_BINARY_DIR}/zokConfigVersion.cmake
    DESTINATION ${ZOK_INSTALL_CMAKEDIR} COMPONENT dev)

# The prefix is found relative to the .pc file itself, so the package can be installed anywhere.
file(RELATIVE_PATH ZOK_PC_PREFIX_FROM_PCFILEDIR
    /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
# libzok links FFTW privately: only a static link of it would need to name the library.
set(ZOK_PC_LIBS_PRIVATE "")
if(ZOK_WITH_FFTW)
    set(ZOK_PC_LIBS_PRIVATE "Libs.private: -lfftw3f")
endif()
configure_file(cmake/zok.pc.in ${PROJECT_BINARY_DIR}/zok.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zok.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    COMPONENT dev)

# The recommended tracker configuration, for --config and for programs of one's own.
install(FILES config/recommended.json DESTINATION ${CMAKE_INSTALL_DATADIR}/zok COMPONENT lib)
