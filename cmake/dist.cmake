# SPDX-License-Identifier: MIT
# Writes the source archive: every file git tracks, as committed, under
# tessarlumen-VERSION/. A tree with uncommitted changes to tracked files is
# refused, so an archive named for a release holds that release only.
#   cmake -DSOURCE_DIR=... -DVERSION=... -DOUT=... -P dist.cmake
execute_process(COMMAND git status --porcelain --untracked-files=no WORKING_DIRECTORY ${SOURCE_DIR}
                OUTPUT_VARIABLE changed OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
if(NOT changed STREQUAL "")
  message(FATAL_ERROR "The source archive is made from commits only; commit or stash these first:\n${changed}")
endif()
execute_process(COMMAND git archive --format=tar.gz --prefix=tessarlumen-${VERSION}/ -o ${OUT} HEAD
                WORKING_DIRECTORY ${SOURCE_DIR} COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "Source archive: ${OUT}")
