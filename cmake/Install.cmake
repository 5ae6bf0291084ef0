# Installation of everything but the library (dispor/ installs itself), the
# generated manual page and completions, and the Debian package.

add_subdirectory(${PROJECT_SOURCE_DIR}/tools ${PROJECT_BINARY_DIR}/tools)

# Relative, so that an install into any prefix finds its own library.
set_target_properties(dispctl PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")

install(FILES ${DISPCTL_GENERATED_DIR}/dispctl.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${DISPCTL_GENERATED_DIR}/dispctl.bash
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME dispctl)
install(FILES ${DISPCTL_GENERATED_DIR}/_dispctl
    DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${DISPCTL_GENERATED_DIR}/dispctl.fish
    DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)

set(CPACK_PACKAGE_NAME dispctl)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION "dispctl shows and changes the configuration of the display outputs of a \
desktop session: layout, modes, scale, rotation, brightness, HDR and colour management. It comes with \
Dispor, its display-configuration library, whose virtual backend simulates outputs in a JSON document.")
set(CPACK_PACKAGE_CONTACT "dispctl developers <dispctl@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# dpkg-shlibdeps finds the exact libraries and versions the binaries need.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
set(CPACK_STRIP_FILES ON)
include(CPack)

if(DISPCTL_BUILD_TESTS)
    add_subdirectory(${PROJECT_SOURCE_DIR}/tests/install ${PROJECT_BINARY_DIR}/tests/install)
endif()
