# The Debian packages, made by CPack from the install rules (scripts/package.sh):
#   telvane        the service: telvaned, telvane-pdu, the unit, sysusers.d, tmpfiles.d, the man
#                  pages and the documentation
#   telvane-tray   the tray application with its launcher entry and icon
#   telvane-modem  the simulated modem, for trying the gateway without a phone
# Their library dependencies are computed from the binaries (dpkg-shlibdeps); the maintainer
# scripts (packaging/debian) create the user and folders and enable the unit.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/debian/changelog _changelog_head LIMIT_COUNT 1)
if(NOT _changelog_head MATCHES "^telvane \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/debian/changelog does not begin with version "
                        "${PROJECT_VERSION}: add its entry")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME telvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT
    "Telvane maintainers <maintainers@users.noreply.c-seed-1ed906d5.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL service tray simulator)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Files as dpkg expects them (0644, 0755) whatever the umask of the build.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_SERVICE_PACKAGE_NAME telvane)
set(CPACK_DEBIAN_SERVICE_DESCRIPTION "unattended SMS gateway for GSM phones and modems
Telvane drives a GSM phone or modem on a serial port with AT commands in PDU
mode and moves short messages between it and folders: other programs drop
outgoing-message files into a send folder and collect received messages from
a daily file; an HTTP API (described in OpenAPI) sends and reads them too.
.
This package runs it as a systemd service, telvaned, in /var/lib/telvane as
the user telvane. The service waits until ComPort is set in
/var/lib/telvane/Telvane.ini.")
set(CPACK_DEBIAN_SERVICE_PACKAGE_DEPENDS
    "systemd | systemd-standalone-sysusers, systemd | systemd-standalone-tmpfiles")
set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/debian/postinst ${CMAKE_CURRENT_LIST_DIR}/debian/prerm
    ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)

set(CPACK_DEBIAN_TRAY_PACKAGE_NAME telvane-tray)
set(CPACK_DEBIAN_TRAY_DESCRIPTION "SMS gateway for GSM phones and modems, as a tray application
Telvane drives a GSM phone or modem on a serial port with AT commands in PDU
mode and moves short messages between it and folders.
.
This package is the gateway on a desktop: an icon in the notification area
whose menu starts it and opens its settings.")
# Qt's own dialogs (the folder chooser) in Russian, as the program speaks.
set(CPACK_DEBIAN_TRAY_PACKAGE_RECOMMENDS qt6-translations-l10n)

set(CPACK_DEBIAN_SIMULATOR_PACKAGE_NAME telvane-modem)
set(CPACK_DEBIAN_SIMULATOR_DESCRIPTION "simulated GSM modem for trying the Telvane SMS gateway
telvane-modem answers AT commands on a pseudo-terminal as a GSM modem does,
with messages in its memory and on its SIM, and can behave like real devices
(late confirmations, PIN, line speed...). The gateway can be tried and tested
with it, no phone needed.")

# Every package has its copyright and changelog in /usr/share/doc/<package>.
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
    COMMAND gzip -9n -c ${CMAKE_CURRENT_LIST_DIR}/debian/changelog
            > ${PROJECT_BINARY_DIR}/packaging/changelog.gz
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/debian/changelog
    COMMENT "Compressing the Debian changelog")
add_custom_target(debian_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
foreach(_component service tray simulator)
    string(TOUPPER ${_component} _upper)
    set(_doc ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${_upper}_PACKAGE_NAME})
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright
                  ${PROJECT_BINARY_DIR}/packaging/changelog.gz
            DESTINATION ${_doc} COMPONENT ${_component} EXCLUDE_FROM_ALL)
endforeach()

include(CPack)
