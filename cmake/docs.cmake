# The API reference: Doxygen over the public headers, which are its only source.
#   cmake --build <build> --target zok_docs   ->  <build>/docs/html/index.html
# Every public name must be documented: any warning fails the target.
find_package(Doxygen)
if(NOT DOXYGEN_FOUND)
    message(STATUS "doxygen not found: no zok_docs target")
    return()
endif()

set(DOXYGEN_PROJECT_NAME zok)
set(DOXYGEN_PROJECT_NUMBER ${PROJECT_VERSION})
set(DOXYGEN_PROJECT_BRIEF ${PROJECT_DESCRIPTION})
set(DOXYGEN_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/docs)
set(DOXYGEN_STRIP_FROM_PATH ${PROJECT_SOURCE_DIR}/include)
set(DOXYGEN_STRIP_FROM_INC_PATH ${PROJECT_SOURCE_DIR}/include)
set(DOXYGEN_JAVADOC_AUTOBRIEF YES)
set(DOXYGEN_EXTRACT_ALL NO)
set(DOXYGEN_WARN_IF_UNDOCUMENTED YES)
set(DOXYGEN_WARN_AS_ERROR FAIL_ON_WARNINGS)
set(DOXYGEN_QUIET YES)
set(DOXYGEN_HAVE_DOT NO)
# The README is the front page, with its picture and the pages it links to.
set(DOXYGEN_USE_MDFILE_AS_MAINPAGE ${PROJECT_SOURCE_DIR}/README.md)
set(DOXYGEN_IMAGE_PATH ${PROJECT_SOURCE_DIR}/docs/images)
# The export macro is noise in the reference.
set(DOXYGEN_MACRO_EXPANSION YES)
set(DOXYGEN_EXPAND_ONLY_PREDEF YES)
set(DOXYGEN_PREDEFINED ZOK_EXPORT=)
doxygen_add_docs(zok_docs ${PROJECT_SOURCE_DIR}/include/zok ${PROJECT_SOURCE_DIR}/README.md
    ${PROJECT_SOURCE_DIR}/docs/parameters.md ${PROJECT_SOURCE_DIR}/docs/accuracy.md
    ${PROJECT_SOURCE_DIR}/CHANGELOG.md
    COMMENT "Making the API reference in ${PROJECT_BINARY_DIR}/docs/html")
