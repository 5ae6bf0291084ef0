# Installation of everything but the library (dispor/ installs itself): the
# tool, its compositor module, the generated manual page and completions.
# Install components: Tool, Library, Development. The Debian packages are
# built from debian/ (dpkg-buildpackage), which splits the installed tree.

# Relative, so that an install into any prefix finds its own library.
set_target_properties(dispctl-installed PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
# In /usr the library sits in the linker's own directory, where a search
# path is useless and Debian forbids one.
install(CODE [[
    set(tool "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin/dispctl")
    if(CMAKE_INSTALL_PREFIX STREQUAL "/usr" AND EXISTS "${tool}")
        file(RPATH_REMOVE FILE "${tool}")
    endif()
]] COMPONENT Tool)

# The manual page is installed compressed, without a timestamp in the gzip
# header, so that two builds give the same file.
find_program(DISPCTL_GZIP gzip REQUIRED)
set(DISPCTL_PACKAGE_DIR ${PROJECT_BINARY_DIR}/package)
add_custom_command(
    OUTPUT ${DISPCTL_PACKAGE_DIR}/dispctl.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${DISPCTL_PACKAGE_DIR}
    COMMAND ${DISPCTL_GZIP} -9nc ${DISPCTL_GENERATED_DIR}/dispctl.1 > ${DISPCTL_PACKAGE_DIR}/dispctl.1.gz
    DEPENDS dispctl-docs ${DISPCTL_GENERATED_DIR}/dispctl.1
    COMMENT "Compressing the manual page")
add_custom_target(dispctl-package-files ALL DEPENDS ${DISPCTL_PACKAGE_DIR}/dispctl.1.gz)

install(FILES ${DISPCTL_PACKAGE_DIR}/dispctl.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Tool)
install(FILES ${DISPCTL_GENERATED_DIR}/dispctl.bash
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME dispctl COMPONENT Tool)
install(FILES ${DISPCTL_GENERATED_DIR}/_dispctl
    DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions COMPONENT Tool)
install(FILES ${DISPCTL_GENERATED_DIR}/dispctl.fish
    DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d COMPONENT Tool)
