# Installation and the Debian package.
#
# The install tree is a root image: with the default prefix "/" (as the
# package installs it)
#   /opt/packvault/bin/         packvault, pvarchive, pvobjects, pvdbf, plantsim
#   /opt/packvault/bin/kestrel.ini -> /etc/packvault/kestrel.ini
#   /etc/packvault/kestrel.ini  the commented sample settings (a conffile)
#   /lib/systemd/system/packvault@.service
#   /opt/packvault/share/doc/   README.md, design.md
# Packvault reads kestrel.ini from its executable's directory; the link puts
# the administrator's file in /etc. "cmake --install build --prefix DIR"
# stages the same tree below DIR.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX "/" CACHE PATH "Install prefix: the root of the installed tree" FORCE)
endif()
# "make install" and cpack need only the programs, not the tests and benches.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(PV_BIN_DIR /opt/packvault/bin)
set(PV_DOC_DIR /opt/packvault/share/doc)
set(pv_programs packvault pvarchive pvobjects pvdbf plantsim)
foreach(p IN LISTS pv_programs)
  if(TARGET ${p})
    install(TARGETS ${p} RUNTIME DESTINATION opt/packvault/bin)
  endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/kestrel.ini DESTINATION etc/packvault)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/packaging)
file(CREATE_LINK /etc/packvault/kestrel.ini ${PROJECT_BINARY_DIR}/packaging/kestrel.ini SYMBOLIC)
install(FILES ${PROJECT_BINARY_DIR}/packaging/kestrel.ini DESTINATION opt/packvault/bin)
configure_file(${PROJECT_SOURCE_DIR}/packaging/packvault@.service.in
               ${PROJECT_BINARY_DIR}/packaging/packvault@.service @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/packvault@.service DESTINATION lib/systemd/system)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/design.md
        DESTINATION opt/packvault/share/doc)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME packvault)
set(CPACK_PACKAGE_VENDOR "Packvault")
set(CPACK_PACKAGE_CONTACT "Packvault maintainers <packvault@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Archives plant-control log tables into encrypted day ZIP archives")
set(CPACK_PACKAGING_INSTALL_PREFIX "/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Library dependencies from the binaries (dpkg-shlibdeps): libzip, libcrypto, zlib.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
configure_file(${PROJECT_SOURCE_DIR}/packaging/conffiles ${PROJECT_BINARY_DIR}/packaging/conffiles COPYONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/postinst ${PROJECT_BINARY_DIR}/packaging/postinst COPYONLY)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_BINARY_DIR}/packaging/conffiles ${PROJECT_BINARY_DIR}/packaging/postinst)
include(CPack)
