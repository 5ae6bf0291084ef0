# Installation of everything but the library (dispor/ installs itself), the
# generated manual page and completions, and the Debian packages: dispctl
# (the tool), libdispor0 (the shared library) and libdispor-dev (headers,
# CMake package, pkg-config file), split as Debian splits a tool and its
# library. Install components: Tool, Library, Development.

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

# Manual pages and changelogs are installed compressed, without a timestamp
# in the gzip header, so that two builds give the same package.
find_program(DISPCTL_GZIP gzip REQUIRED)
set(DISPCTL_PACKAGE_DIR ${PROJECT_BINARY_DIR}/package)
add_custom_command(
    OUTPUT ${DISPCTL_PACKAGE_DIR}/dispctl.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${DISPCTL_PACKAGE_DIR}
    COMMAND ${DISPCTL_GZIP} -9nc ${DISPCTL_GENERATED_DIR}/dispctl.1 > ${DISPCTL_PACKAGE_DIR}/dispctl.1.gz
    DEPENDS dispctl-docs ${DISPCTL_GENERATED_DIR}/dispctl.1
    COMMENT "Compressing the manual page")
add_custom_command(
    OUTPUT ${DISPCTL_PACKAGE_DIR}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${DISPCTL_PACKAGE_DIR}
    COMMAND ${DISPCTL_GZIP} -9nc ${PROJECT_SOURCE_DIR}/debian/changelog > ${DISPCTL_PACKAGE_DIR}/changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/debian/changelog
    COMMENT "Compressing the changelog")
add_custom_target(dispctl-package-files ALL
    DEPENDS ${DISPCTL_PACKAGE_DIR}/dispctl.1.gz ${DISPCTL_PACKAGE_DIR}/changelog.gz)

install(FILES ${DISPCTL_PACKAGE_DIR}/dispctl.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Tool)
install(FILES ${DISPCTL_GENERATED_DIR}/dispctl.bash
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME dispctl COMPONENT Tool)
install(FILES ${DISPCTL_GENERATED_DIR}/_dispctl
    DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions COMPONENT Tool)
install(FILES ${DISPCTL_GENERATED_DIR}/dispctl.fish
    DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d COMPONENT Tool)

# Every package carries the licence terms and the changelog.
foreach(component Tool Library Development)
    string(TOUPPER ${component} upper)
    set(package_name_Tool dispctl)
    set(package_name_Library libdispor0)
    set(package_name_Development libdispor-dev)
    install(FILES ${PROJECT_SOURCE_DIR}/debian/copyright ${DISPCTL_PACKAGE_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package_name_${component}} COMPONENT ${component})
    set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${package_name_${component}})
    set(CPACK_DEBIAN_${upper}_FILE_NAME DEB-DEFAULT)
endforeach()

set(CPACK_PACKAGE_NAME dispctl)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package's description starts with its own synopsis; CPack puts the
# summary before them unless it is CPack's default.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
# To be confirmed by the project: the address packages name as maintainer.
set(CPACK_PACKAGE_CONTACT "dispctl developers <dispctl-devel@lists.dispctl.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Tool Library Development)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps finds the exact libraries and versions the binaries need;
# the packages' own library is found in its staging directory (the working
# directory is the component's own), and the dependency on it is declared
# exactly, below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ../Library/usr/${CMAKE_INSTALL_LIBDIR})
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_COMPONENT_TOOL_DEPENDS Library)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOL_PACKAGE_SUGGESTS "bash-completion")
set(CPACK_DEBIAN_TOOL_DESCRIPTION "show and change the configuration of display outputs
dispctl shows and changes the configuration of the display outputs of a
desktop session: layout, modes, scale, rotation, brightness, HDR and colour
management. It works on X11 (RandR), on wlroots compositors and on a
simulated display set kept in a JSON document.")

set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
# Only the library's package has a shared library to declare; a package built
# from this version needs exactly this version's library.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")
# The library's directory is the linker's; ldconfig runs on dpkg's trigger,
# not from maintainer scripts. Naming postinst and postrm here (they do not
# exist) stops CPack from writing scripts that would call ldconfig.
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/cmake/debian/triggers
    ${PROJECT_BINARY_DIR}/package/no-maintainer-scripts/postinst
    ${PROJECT_BINARY_DIR}/package/no-maintainer-scripts/postrm)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION "display-configuration library of dispctl
Dispor gives programs a snapshot of the display outputs of a desktop session
and applies changes to it, refusing what the display server cannot do and
reporting a conflict when the outputs changed meanwhile. It talks to X11
(RandR), to wlroots compositors, and to a simulated display set.")

set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS Library)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "qt6-base-dev (>= 6.4)")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "display-configuration library of dispctl - development files
Dispor gives programs a snapshot of the display outputs of a desktop session
and applies changes to it.
.
This package holds the documented headers, the CMake package
(find_package(Dispor)) and the pkg-config file (dispor).")
include(CPack)
