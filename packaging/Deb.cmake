# veskinfo-inspect as a Debian package: /usr/bin/veskinfo-inspect, its manual page made from its
# own --help by help2man at build time (so the page follows whatever --help says), the copyright
# file and the changelog. The package version is the product version.
include(GNUInstallDirs)
find_program(VESK_HELP2MAN help2man REQUIRED)
find_program(VESK_GZIP gzip REQUIRED)

set(VESK_PACKAGE_NAME veskinfo-inspect)
set(VESK_PACKAGE_CONTACT "VeskInfo maintainers <veskinfo@vesk.example>"
    CACHE STRING "Maintainer of the veskinfo-inspect package (name <address>)")
set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${VESK_PACKAGE_NAME})

# The changelog's newest entry must be the one of the version being packaged.
file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/changelog newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^${VESK_PACKAGE_NAME} \\(${VESK_PRODUCT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog: newest entry not for ${VESK_PRODUCT_VERSION}: ${newest}")
endif()

# Compressed without names or dates (gzip -n), as Debian's policy asks.
set(page ${CMAKE_CURRENT_BINARY_DIR}/${VESK_PACKAGE_NAME}.1)
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog)
add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${VESK_HELP2MAN} --no-info --section=1
            "--name=show the identity VeskInfo would record from an SMBIOS table"
            --output=${page} $<TARGET_FILE:veskinfo-inspect>
    COMMAND ${VESK_GZIP} -9nf ${page}
    DEPENDS veskinfo-inspect
    COMMENT "Manual page of veskinfo-inspect from its --help")
add_custom_command(
    OUTPUT ${changelog}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/changelog ${changelog}
    COMMAND ${VESK_GZIP} -9nf ${changelog}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/changelog)
add_custom_target(veskinfo-inspect-docs ALL DEPENDS ${page}.gz ${changelog}.gz)

install(TARGETS veskinfo-inspect RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/copyright ${changelog}.gz DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VESK_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${VESK_PRODUCT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vesk Computer Corporation")
set(CPACK_PACKAGE_CONTACT ${VESK_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "identity VeskInfo would record from an SMBIOS table")
set(CPACK_PACKAGE_DESCRIPTION
    "veskinfo-inspect runs, on Linux, the SMBIOS table walk of VeskInfo, the Windows
program that records a machine's manufacturer, system identifier and regulatory
identifier. It reads a raw structure table, a .reg export of the registry copy
or this machine's own table, and prints the three values byte for byte as
VeskInfo would store them, optionally with the structures walked and the
anomalies met, or as JSON.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)

# The package from the parts it needs only, not the tests of this build folder: installing
# does not build everything first (packaging/CMakeLists.txt hands this to the top level).
set(VESK_SKIP_INSTALL_ALL ON)
# The caller's umask would reach the package's folders and its archive members: fixed, so that
# the package has the same bytes whoever builds it.
add_custom_target(veskinfo-inspect-deb
    COMMAND sh -c "umask 022 && exec \"$0\" \"$@\"" ${CMAKE_CPACK_COMMAND} -G DEB
            --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    COMMENT "Debian package of veskinfo-inspect"
    VERBATIM)
add_dependencies(veskinfo-inspect-deb veskinfo-inspect veskinfo-inspect-docs)
