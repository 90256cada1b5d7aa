# Installed layout (prefix /usr, /usr/local or ~/.local): the plug-in where hosts search for VST 2
# plug-ins, the programs in bin with their manual pages, the player's desktop entry and icon, the
# README. `cpack -G DEB` makes a Debian package of the same files, its dependencies found by
# dpkg-shlibdeps.
install(TARGETS VelaOrin LIBRARY DESTINATION lib/vst)
foreach(program velaorin velaorin-render)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION bin)
  endif()
endforeach()
if(TARGET velaorin)
  install(FILES packaging/velaorin.desktop DESTINATION share/applications)
  install(FILES packaging/velaorin.svg DESTINATION share/icons/hicolor/scalable/apps)
endif()
# Manual pages: help2man runs each program for its --help and --version and adds our sections
# (packaging/man/*.h2m); gzip -n keeps no name or time, so the same pages give the same bytes.
find_program(VELA_HELP2MAN help2man)
find_program(VELA_GZIP gzip REQUIRED)
set(VELA_MAN_DIR ${CMAKE_BINARY_DIR}/man)
set(vela_man_pages)
foreach(program velaorin velaorin-render)
  if(NOT TARGET ${program})
    continue()
  endif()
  if(NOT VELA_HELP2MAN)
    message(WARNING "help2man not found (scripts/setup.sh installs it): no manual pages")
    break()
  endif()
  set(page ${VELA_MAN_DIR}/${program}.1)
  set(include ${PROJECT_SOURCE_DIR}/packaging/man/${program}.h2m)
  # Sanitizer builds run the program too; a leak report at exit is no reason to lose the page.
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VELA_MAN_DIR}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
            ${VELA_HELP2MAN} --no-info --include ${include} --output ${page}
            $<TARGET_FILE:${program}>
    COMMAND ${VELA_GZIP} -9nf ${page}
    DEPENDS ${program} ${include}
    COMMENT "Manual page ${program}(1)"
    VERBATIM)
  list(APPEND vela_man_pages ${page}.gz)
endforeach()
if(vela_man_pages)
  add_custom_target(vela_man_pages ALL DEPENDS ${vela_man_pages})
  install(FILES ${vela_man_pages} DESTINATION share/man/man1)
endif()

install(FILES README.md DESTINATION share/doc/velaorin)

set(CPACK_PACKAGE_NAME velaorin)
set(CPACK_PACKAGE_VENDOR "VelaOrin")
set(CPACK_PACKAGE_CONTACT "VelaOrin developers <velaorin@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "FM synthesizer: VST 2 plug-in, JACK player and MIDI renderer")
set(CPACK_PACKAGE_DESCRIPTION "A small FM synthesizer: VelaOrin.so for VST 2 hosts, velaorin \
to play it standalone through JACK with its panel and an on-screen keyboard, and \
velaorin-render to render MIDI files to WAV.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "jackd2 | pipewire-jack, fonts-dejavu-core")
set(CPACK_GENERATOR DEB)
include(CPack)
