# Installed layout (prefix /usr, /usr/local or ~/.local): the plug-in where hosts search for VST 2
# plug-ins, the programs in bin, the player's desktop entry and icon, the README. `cpack -G DEB`
# makes a Debian package of the same files, its dependencies found by dpkg-shlibdeps.
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
install(FILES README.md DESTINATION share/doc/velaorin)
if(TARGET vela_factory_bank)
  install(FILES ${PROJECT_BINARY_DIR}/share/velaorin/VelaOrin-Factory.fxb DESTINATION share/velaorin)
endif()

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
