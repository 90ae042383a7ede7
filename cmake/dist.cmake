# SPDX-License-Identifier: MIT
# Writes the source archive: every file git tracks, as it stands in the work
# tree (uncommitted changes included), under tessarlumen-VERSION/.
#   cmake -DSOURCE_DIR=... -DVERSION=... -DOUT=... -P dist.cmake
execute_process(COMMAND git stash create WORKING_DIRECTORY ${SOURCE_DIR}
                OUTPUT_VARIABLE tree OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
if(tree STREQUAL "")
  set(tree HEAD)  # nothing changed since the last commit
endif()
execute_process(COMMAND git archive --format=tar.gz --prefix=tessarlumen-${VERSION}/ -o ${OUT} ${tree}
                WORKING_DIRECTORY ${SOURCE_DIR} COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "Source archive: ${OUT}")
