# SPDX-License-Identifier: MIT
# The Windows installer (target `installer`, part of the default build when
# makensis is at hand), and its test under Wine.
find_program(LINTARA_MAKENSIS makensis)
if(NOT LINTARA_MAKENSIS OR NOT TARGET lintara)
  message(STATUS "Windows installer: makensis or lintara.exe missing; not built")
  return()
endif()

set(_lintara_setup "${CMAKE_BINARY_DIR}/lintara-${PROJECT_VERSION}-setup.exe")
add_custom_command(OUTPUT "${_lintara_setup}"
  COMMAND "${LINTARA_MAKENSIS}" -V2 -WX
    "-DVERSION=${PROJECT_VERSION}"
    "-DEXE=$<TARGET_FILE:lintara>"
    "-DLICENSE=${PROJECT_SOURCE_DIR}/LICENSE"
    "-DOUTFILE=${_lintara_setup}"
    "${CMAKE_CURRENT_LIST_DIR}/lintara.nsi"
  DEPENDS lintara "${CMAKE_CURRENT_LIST_DIR}/lintara.nsi" "${PROJECT_SOURCE_DIR}/LICENSE"
  COMMENT "Building the installer with makensis"
  VERBATIM)
add_custom_target(installer ALL DEPENDS "${_lintara_setup}")

if(LINTARA_BUILD_TESTS)
  add_test(NAME installer.per_user_install_login_entry_and_uninstall
    COMMAND bash "${PROJECT_SOURCE_DIR}/tests/win32/installer.sh" "${_lintara_setup}"
      "$<TARGET_FILE:lintara>")
  set_tests_properties(installer.per_user_install_login_entry_and_uninstall PROPERTIES TIMEOUT 300)
endif()
