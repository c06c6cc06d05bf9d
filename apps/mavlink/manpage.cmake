# The manual page is made from the program's own --help, as zok-track's is.
find_program(ZOK_HELP2MAN help2man)
if(NOT ZOK_HELP2MAN)
    message(STATUS "help2man not found: zok-mavlink's manual page is not built")
    return()
endif()

set(manpage ${PROJECT_BINARY_DIR}/man/zok-mavlink.1)
add_custom_command(
    OUTPUT ${manpage}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${ZOK_HELP2MAN} --no-info --section=1 --version-string=${PROJECT_VERSION}
            "--name=MAVLink tracking camera that steers the gimbal"
            --output=${manpage} $<TARGET_FILE:zok-mavlink>
    COMMAND gzip -9nf ${manpage}
    DEPENDS zok-mavlink
    COMMENT "Making zok-mavlink's manual page with help2man")
add_custom_target(zok_mavlink_manpage ALL DEPENDS ${manpage}.gz)
install(FILES ${manpage}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
