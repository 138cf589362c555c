# SPDX-License-Identifier: MIT
# Renders Info.plist.in outside a build, for the CI check:
#   cmake -D template=... -D output=... -D version=X.Y.Z -P RenderInfoPlist.cmake
foreach(required template output version)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "RenderInfoPlist.cmake needs -D ${required}=...")
  endif()
endforeach()
include(${CMAKE_CURRENT_LIST_DIR}/BundleInfo.cmake)
set(LINTARA_BUNDLE_VERSION "${version}")
configure_file(${template} ${output} @ONLY)
