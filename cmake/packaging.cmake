# Installing on Linux, and the Debian package made of it (scripts/package):
# the program, its desktop entry and icon (with windows), the headless
# service, the example configuration, and the documentation.
#
# A build without windows (-DVARNE4_GUI=OFF) makes varne4-decoder-headless,
# for servers without desktop libraries; the two replace each other.
include(GNUInstallDirs)

if(VARNE4_GUI)
  set(varne4_package varne4-decoder)
  set(varne4_other_package varne4-decoder-headless)
else()
  set(varne4_package varne4-decoder-headless)
  set(varne4_other_package varne4-decoder)
endif()

set(VARNE4_MAINTAINER "VARNE-4 ground station maintainers <maintainers@users.noreply.c-seed-18c3d4e0.example>"
    CACHE STRING "Maintainer named in the Debian package")
# Debian 12 keeps units in /lib; other prefixes use their own lib folder, which systemd also reads.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(varne4_unit_default /lib/systemd/system)
else()
  set(varne4_unit_default ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
endif()
set(VARNE4_SYSTEMD_UNIT_DIR ${varne4_unit_default} CACHE PATH "Folder for varne4-decoder.service")

set(VARNE4_BIN_DIR ${CMAKE_INSTALL_FULL_BINDIR})
set(VARNE4_DOC_DIR ${CMAKE_INSTALL_FULL_DATAROOTDIR}/doc/${varne4_package})
set(varne4_config_dir ${CMAKE_INSTALL_FULL_SYSCONFDIR}/varne4-decoder)
set(varne4_staging ${CMAKE_BINARY_DIR}/packaging)

# Folders made by the install get the usual modes whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS varne4-decoder RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(VARNE4_GUI)
  install(FILES packaging/varne4-decoder.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  install(FILES packaging/varne4-decoder.svg DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
endif()
configure_file(packaging/varne4-decoder.service.in ${varne4_staging}/varne4-decoder.service @ONLY)
install(FILES ${varne4_staging}/varne4-decoder.service DESTINATION ${VARNE4_SYSTEMD_UNIT_DIR})
install(FILES samples/online_conf.ini DESTINATION ${varne4_config_dir})
install(FILES samples/online_conf.ini DESTINATION ${VARNE4_DOC_DIR}/examples)

# A native package's changelog and the manual page, compressed as Debian wants
# them (-n: no name or time stamp inside, so the same sources give the same bytes).
string(TIMESTAMP varne4_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${varne4_staging}/changelog
     "varne4 (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
     "  * Release ${PROJECT_VERSION}.\n\n"
     " -- ${VARNE4_MAINTAINER}  ${varne4_changelog_date}\n")
configure_file(packaging/varne4-decoder.1 ${varne4_staging}/varne4-decoder.1 COPYONLY)
find_program(VARNE4_GZIP gzip)
if(VARNE4_GZIP)
  execute_process(COMMAND ${VARNE4_GZIP} -9nf ${varne4_staging}/changelog ${varne4_staging}/varne4-decoder.1)
  install(FILES ${varne4_staging}/changelog.gz DESTINATION ${VARNE4_DOC_DIR})
  install(FILES ${varne4_staging}/varne4-decoder.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES README.md packaging/copyright DESTINATION ${VARNE4_DOC_DIR})

file(WRITE ${varne4_staging}/conffiles "${varne4_config_dir}/online_conf.ini\n")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${varne4_package})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "VARNE-4 ground station")
set(CPACK_PACKAGE_CONTACT ${VARNE4_MAINTAINER})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Absolute destinations (/etc, /lib/systemd) land in the package, not on this machine.
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The postinst makes the service's user.
set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONFLICTS ${varne4_other_package})
set(CPACK_DEBIAN_PACKAGE_REPLACES ${varne4_other_package})
set(varne4_description
    "ground station for the telemetry of the satellite VARNE-4\n"
    "varne4-decoder receives the telemetry beacons of the satellite VARNE-4 from\n"
    "a packet-radio modem program over TCP (AGW or KISS), decodes them into\n"
    "engineering values, logs every frame heard to a KISS file and sends every\n"
    "satellite frame to telemetry servers by HTTP POST.\n")
if(VARNE4_GUI)
  string(APPEND varne4_description
         "It runs with its windows on a desktop, or headless as the systemd service\n"
         "varne4-decoder.service.")
else()
  string(APPEND varne4_description
         "This build has no windows and needs no desktop libraries: it runs headless,\n"
         "from a terminal or as the systemd service varne4-decoder.service.")
endif()
# CPack indents the long description's lines itself.
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${varne4_description}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/postinst ${PROJECT_SOURCE_DIR}/packaging/prerm
    ${PROJECT_SOURCE_DIR}/packaging/postrm ${varne4_staging}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
