# The manual page is made from the tool's own --help, so that it never drifts from the flags.
find_program(ZOK_HELP2MAN help2man)
if(NOT ZOK_HELP2MAN)
    message(STATUS "help2man not found: zok-track's manual page is not built")
    return()
endif()

set(manpage ${PROJECT_BINARY_DIR}/man/zok-track.1)
add_custom_command(
    OUTPUT ${manpage}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    # The tool has no --version: the project's version is given instead.
    COMMAND ${ZOK_HELP2MAN} --no-info --section=1 --version-string=${PROJECT_VERSION}
            "--name=follow one target through a video by normalised cross-correlation"
            --output=${manpage} $<TARGET_FILE:zok-track>
    # Debian ships manual pages compressed, without a timestamp so that builds are reproducible.
    COMMAND gzip -9nf ${manpage}
    DEPENDS zok-track
    COMMENT "Making zok-track's manual page with help2man")
add_custom_target(zok_track_manpage ALL DEPENDS ${manpage}.gz)
install(FILES ${manpage}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
