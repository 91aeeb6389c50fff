# The Debian package: the installed files, with dependencies computed from the
# libraries the binaries use, the soundfont the built-in synthesizer plays
# with, and maintainer scripts that let the desktop know the new types.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvana)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Quorvana developers <quorvana@quorvana.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "multimedia player with a GM or GS reset before every song")
set(CPACK_PACKAGE_DESCRIPTION "Quorvana plays MIDI songs, wave sounds and AVI videos from a folder browser
in one small window, file after file, and can send a General MIDI or
Roland GS reset to the synthesizer before every song: the built-in
FluidSynth synthesizer or an external one on an ALSA sequencer port.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The libraries the player opens on first use are no link dependencies, so
# shlibdeps cannot see them. Any General MIDI soundfont Debian packages will
# do: the player takes the one the default-GM.sf2 alternative points at.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fluid-soundfont-gm | sf2-soundfont-gm, libfluidsynth3 (>= 2.0.5), libsdl2-2.0-0 (>= 2.0.12), libsndfile1 (>= 1.0.20)")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, libglib2.0-bin")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${PROJECT_SOURCE_DIR}/data/postinst;${PROJECT_SOURCE_DIR}/data/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
