# Writes the version header the resources include, at every build: the
# version of the project, and in the comment whether the tree it was built
# from had local changes (the number never says so). The header is rewritten
# only when its text changes, so an unchanged build links nothing anew.
# Usage: cmake -DVERSION=1.0.0.1 -DSOURCE_DIR=... -DOUTPUT=.../version.h -P WriteVersion.cmake
string(REPLACE "." "," comma "${VERSION}")
set(comment "")
find_program(GIT git)
if(GIT AND EXISTS "${SOURCE_DIR}/.git")
    execute_process(COMMAND "${GIT}" -C "${SOURCE_DIR}" status --porcelain --untracked-files=no
                    OUTPUT_VARIABLE changes RESULT_VARIABLE status OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(status EQUAL 0 AND NOT changes STREQUAL "")
        set(comment "built from a tree with local changes")
    endif()
endif()
set(text "// Made by cmake/WriteVersion.cmake at every build.
#define NORVANE_VERSION_NUMBERS ${comma}
#define NORVANE_VERSION_TEXT \"${VERSION}\"
#define NORVANE_VERSION_COMMENT \"${comment}\"
")
if(EXISTS "${OUTPUT}")
    file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
    file(WRITE "${OUTPUT}" "${text}")
endif()
