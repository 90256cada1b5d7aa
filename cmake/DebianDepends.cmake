# Run by cpack after staging the package's files: dpkg-shlibdeps over every ELF file staged
# (programs, the VST plug-in, any LV2 bundle) gives the Debian package's Depends.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
find_program(VELA_SHLIBDEPS dpkg-shlibdeps REQUIRED)

file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
set(elf_files)
foreach(file IN LISTS staged)
  if(NOT IS_SYMLINK "${file}")
    file(READ "${file}" magic LIMIT 4 HEX)
    if(magic STREQUAL "7f454c46")
      list(APPEND elf_files "${file}")
    endif()
  endif()
endforeach()
if(NOT elf_files)
  return()
endif()

# dpkg-shlibdeps wants a debian/control beside it, outside the files packaged.
set(work "${CPACK_TOPLEVEL_DIRECTORY}/shlibdeps")
file(MAKE_DIRECTORY "${work}/debian")
file(WRITE "${work}/debian/control" "")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${VELA_SHLIBDEPS} -O --ignore-missing-info ${elf_files}
  WORKING_DIRECTORY "${work}"
  OUTPUT_VARIABLE substitution
  RESULT_VARIABLE status
  ERROR_VARIABLE messages)
if(NOT status EQUAL 0 OR NOT substitution MATCHES "shlibs:Depends=([^\n]*)")
  message(FATAL_ERROR "dpkg-shlibdeps failed (${status}): ${messages}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
message(STATUS "Depends: ${CPACK_DEBIAN_PACKAGE_DEPENDS}")
