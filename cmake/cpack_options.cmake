# SPDX-License-Identifier: MIT
# Read by cpack when it makes the package, not when the tree is configured:
# the program is stripped unless DEB_BUILD_OPTIONS says nostrip.
if("$ENV{DEB_BUILD_OPTIONS}" MATCHES "(^| )nostrip( |$)")
  set(CPACK_STRIP_FILES OFF)
else()
  set(CPACK_STRIP_FILES ON)
endif()
