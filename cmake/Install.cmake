# Installed layout (prefix /usr, /usr/local or ~/.local): the plug-in where hosts search for VST 2
# plug-ins, the programs in bin with their manual pages, the player's desktop entry and icon, the
# README with its pages (docs/), copyright and changelog. `cpack -G DEB` makes a Debian package of
# the same files.
# Anything else installed under lib/ (the LV2 bundle in lib/lv2/VelaOrin.lv2, the CLAP plug-in in
# lib/clap, the VST 3 bundle in lib/vst3/VelaOrin.vst3) is packaged as it is; install its binaries
# with install(TARGETS) so that the package gets them stripped.
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

# Documents: Debian wants the copyright file as it is and the changelog gzipped.
set(vela_changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${vela_changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND ${VELA_GZIP} -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${vela_changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog)
add_custom_target(vela_changelog ALL DEPENDS ${vela_changelog})
install(FILES README.md packaging/copyright ${vela_changelog} DESTINATION share/doc/velaorin)
# The pages the README links to, beside it as in the source tree, so its links work installed.
install(DIRECTORY docs/ DESTINATION share/doc/velaorin/docs
        FILES_MATCHING PATTERN "*.md" PATTERN "*.png")
if(TARGET vela_factory_bank)
  install(FILES ${PROJECT_BINARY_DIR}/share/velaorin/VelaOrin-Factory.fxb DESTINATION share/velaorin)
endif()
# The factory sounds as program files (what VelaOrin.clap lists for preset browsers).
if(TARGET vela_factory_presets)
  install(DIRECTORY ${PROJECT_BINARY_DIR}/share/velaorin/presets DESTINATION share/velaorin
          FILES_MATCHING PATTERN "*.fxp")
endif()

set(CPACK_PACKAGE_NAME velaorin)
set(CPACK_PACKAGE_VENDOR "VelaOrin")
set(VELA_PACKAGE_MAINTAINER
    "VelaOrin maintainers <maintainers@users.noreply.c-seed-b052c3df.example>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${VELA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "FM synthesizer: VST 2, VST 3, LV2 and CLAP plug-in, JACK player, MIDI renderer")
# One line each as the package shows it: lintian wants them at most 80 characters.
set(CPACK_PACKAGE_DESCRIPTION "\
VelaOrin is a small FM synthesizer: two sine modulators with feedback and
sync into a sine carrier, an ADSR envelope and a state-variable filter.
This package holds VelaOrin.so for VST 2 hosts (in /usr/lib/vst); the same
instrument and panel for LV2 hosts (/usr/lib/lv2/VelaOrin.lv2), for CLAP
hosts (/usr/lib/clap/VelaOrin.clap) and for VST 3 hosts
(/usr/lib/vst3/VelaOrin.vst3), its factory sounds as program files
(/usr/share/velaorin/presets); velaorin, to play it through JACK with its
panel and an on-screen keyboard; and velaorin-render, to render MIDI files
to WAV, FLAC, AIFF or Ogg Vorbis.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "jackd2 | pipewire-jack, fonts-dejavu-core")
# The package's files are stripped; the build tree keeps its symbols for debugging.
set(CPACK_STRIP_FILES ON)
# Depends from dpkg-shlibdeps, run by our script rather than CPack's: CPack's scan also calls
# ldconfig from postinst and postrm for VelaOrin.so in /usr/lib/vst, a plug-in, not a library.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DebianDepends.cmake)
set(CPACK_GENERATOR DEB)
include(CPack)
