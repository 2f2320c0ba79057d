# Installs the unit, the sysusers.d and the tmpfiles.d file (run by `cmake --install` and by
# CPack, with the variables that packaging/CMakeLists.txt sets before it).
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(_dirs ${TELVANE_SYSTEM_DIRS})
else()
    set(_dirs lib/systemd/system lib/sysusers.d lib/tmpfiles.d)
endif()
set(_absolute)
foreach(_dir IN LISTS _dirs TELVANE_BINDIR)
    cmake_path(ABSOLUTE_PATH _dir BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}")
    list(APPEND _absolute "${_dir}")
endforeach()
list(GET _absolute 0 _unit_dir)
list(GET _absolute 1 _sysusers_dir)
list(GET _absolute 2 _tmpfiles_dir)
list(GET _absolute 3 _bindir)

# One unit per prefix and staging folder: a package and a scratch install may be made at once.
set(TELVANE_TELVANED_PATH "${_bindir}/telvaned")
string(MD5 _key "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(_unit "${TELVANE_PACKAGING_BINARY}/unit-${_key}/telvane.service")
configure_file("${TELVANE_PACKAGING_SOURCE}/telvane.service.in" "${_unit}" @ONLY)
file(INSTALL DESTINATION "${_unit_dir}" TYPE FILE FILES "${_unit}")
file(INSTALL DESTINATION "${_sysusers_dir}" TYPE FILE RENAME telvane.conf
     FILES "${TELVANE_PACKAGING_SOURCE}/telvane.sysusers.conf")
file(INSTALL DESTINATION "${_tmpfiles_dir}" TYPE FILE RENAME telvane.conf
     FILES "${TELVANE_PACKAGING_SOURCE}/telvane.tmpfiles.conf")
