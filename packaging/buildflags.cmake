# SPDX-License-Identifier: MIT
# Debian's compiler and linker flags for a build that becomes a package:
# fortified string and memory calls, a stack protector, a read-only GOT bound
# at start-up (relro and now), and source paths made relative so the package
# does not depend on where it was built. Taken from dpkg-buildflags rather
# than written out, so they follow what the Debian release asks for.
option(LINTARA_DPKG_BUILDFLAGS "Compile and link with the flags of dpkg-buildflags, hardening included" OFF)

if(NOT LINTARA_DPKG_BUILDFLAGS)
  return()
endif()

# Position-independent executables, so that address-space randomisation
# covers them too. Debian's compiler does it by default; this asks for it
# where it does not.
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported()

find_program(LINTARA_DPKG_BUILDFLAGS_COMMAND dpkg-buildflags REQUIRED)
# Bind-now is not among the defaults; "+all" asks for every hardening feature
# the release knows, and anything the builder already set still applies.
set(_lintara_maint_options "hardening=+all $ENV{DEB_BUILD_MAINT_OPTIONS}")
foreach(_lintara_kind CPPFLAGS CXXFLAGS LDFLAGS)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env "DEB_BUILD_MAINT_OPTIONS=${_lintara_maint_options}"
            ${LINTARA_DPKG_BUILDFLAGS_COMMAND} --get ${_lintara_kind}
    # The prefix map it adds is relative to where it runs.
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE _lintara_flags
    OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(_lintara_${_lintara_kind} UNIX_COMMAND "${_lintara_flags}")
endforeach()
add_compile_options(${_lintara_CPPFLAGS} ${_lintara_CXXFLAGS})
add_link_options(${_lintara_LDFLAGS})
message(STATUS "Lintara: dpkg-buildflags: ${_lintara_CPPFLAGS} ${_lintara_CXXFLAGS}; ${_lintara_LDFLAGS}")
