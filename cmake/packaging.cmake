# `make package`: the Debian packages of the station (cpack -G DEB), one per install component:
#   rigstation      the program, the example plug-in, the manual page rigstation(1), the docs
#                   and the systemd service with its maintainer scripts
#   librigcore<so>  the shared library
#   librigcore-dev  the headers, the static libraries and the CMake package files
# docs/packaging.md tells what each holds, how to install it and what lintian says.
set(rigcore_soversion ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
set(rigcore_deb_release 1)
set(rigcore_deb_version ${PROJECT_VERSION}-${rigcore_deb_release})
set(rigcore_deb_maintainer "rigcore developers <rigcore@example.org>")
set(rigcore_lib_package librigcore${rigcore_soversion})
set(rigcore_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(rigcore_package_files ${CMAKE_BINARY_DIR}/package-files)

# The changelog's date: SOURCE_DATE_EPOCH when set, so a rebuild gives the same package.
string(TIMESTAMP DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(DEB_VERSION ${rigcore_deb_version})
set(DEB_MAINTAINER ${rigcore_deb_maintainer})
configure_file(${rigcore_packaging}/changelog.in ${rigcore_package_files}/changelog @ONLY)

add_custom_command(
  OUTPUT ${rigcore_package_files}/rigstation.1.gz ${rigcore_package_files}/changelog.Debian.gz
  COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:rigstation> -DDIR=${rigcore_package_files}
          -DCHANGELOG=${rigcore_package_files}/changelog
          -P ${PROJECT_SOURCE_DIR}/cmake/make_package_files.cmake
  DEPENDS rigstation ${rigcore_package_files}/changelog
          ${PROJECT_SOURCE_DIR}/cmake/make_package_files.cmake
  COMMENT "Writing the manual page rigstation(1) from the program's help"
  VERBATIM)
add_custom_target(package_files ALL DEPENDS ${rigcore_package_files}/rigstation.1.gz)

# ---- what each package installs beside the targets ---------------------------------------------
install(FILES ${rigcore_package_files}/rigstation.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT runtime)
install(FILES ${rigcore_packaging}/rigstation.service ${rigcore_packaging}/rigstation-forward.service
        DESTINATION /lib/systemd/system COMPONENT runtime)
file(GLOB rigcore_doc_pages ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${rigcore_doc_pages}
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/rigstation COMPONENT runtime)
set(rigcore_components runtime library development)
set(rigcore_component_packages rigstation ${rigcore_lib_package} librigcore-dev)
foreach(component package IN ZIP_LISTS rigcore_components rigcore_component_packages)
  install(FILES ${rigcore_packaging}/copyright ${rigcore_package_files}/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
  if(EXISTS ${rigcore_packaging}/lintian/${package})
    install(FILES ${rigcore_packaging}/lintian/${package}
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides COMPONENT ${component})
  endif()
endforeach()
if(EXISTS ${rigcore_packaging}/lintian/librigcore)
  install(FILES ${rigcore_packaging}/lintian/librigcore
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
          RENAME ${rigcore_lib_package} COMPONENT library)
endif()

# ---- the packages -------------------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rigcore)
set(CPACK_PACKAGE_VENDOR "the rigcore developers")
set(CPACK_PACKAGE_CONTACT ${rigcore_deb_maintainer})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package's own description carries its one-line summary; no common one is put before.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${rigcore_components})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${rigcore_deb_release})
set(CPACK_DEBIAN_PACKAGE_SOURCE rigcore)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/rigcore")
# The libraries each binary needs, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME rigstation)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION science)
# The maintainer scripts make the system user and enable the service; the mud log is drawn
# in DejaVu Sans.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "adduser, init-system-helpers (>= 1.52), fonts-dejavu-core")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    ${rigcore_packaging}/postinst ${rigcore_packaging}/prerm ${rigcore_packaging}/postrm)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
    "drilling-rig monitoring and mud-logging station
rigstation reads the rig's sensors over the serial field bus or WITS level 0,
follows depths, lag depth, pumps, tanks and the bit run, raises alarms and
records the run in time, depth and lag-depth files.

The package runs it as the systemd service rigstation.service, under its own
system user, with its home in /var/lib/rigstation, and ships what it records to
an office PostgreSQL database with rigstation-forward.service.")

set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME ${rigcore_lib_package})
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
# The shlibs file tells dpkg-shlibdeps of host packages which package has the library; the
# ldconfig trigger refreshes the dynamic linker's cache (CPack's own postinst and postrm call
# ldconfig as well: harmless, see docs/packaging.md).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${rigcore_packaging}/library/triggers)
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION
    "drilling-rig monitoring and mud-logging core library
The rigcore library as one shared object: the hub, the parameter model, field
bus and WITS acquisition, drilling calculations, recording, alarms and
journals, for host programs that load it.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME librigcore-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
# find_package(rigcore) looks for these, and the headers include Boost and fmt.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
    "${rigcore_lib_package} (= ${rigcore_deb_version}), libboost1.81-dev, libfmt-dev, libicu-dev, libssl-dev, libserialport-dev, pkg-config")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
    "drilling-rig monitoring and mud-logging core library (development files)
Headers, static libraries and CMake package files of rigcore, so that a host
project finds it with find_package(rigcore) and links rigcore::rigcore
(static) or rigcore::rigcore_shared.")

include(CPack)
