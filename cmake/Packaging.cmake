# What `cmake --install` puts where, and the Debian package CPack makes of it
# (`cpack -G DEB` in the build folder, or scripts/package.sh).

include(GNUInstallDirs)

set(ZV_PACKAGE_NAME zelvaneacsniffer)

# The package carries the version the program prints, read from the source
# so the two cannot drift apart.
set(ZV_VERSION "")
file(GLOB ZV_VERSION_SOURCES src/Appl/zelvanEacSniffer/*.cpp)
foreach(part IN ITEMS Major Minor Build)
  foreach(source IN LISTS ZV_VERSION_SOURCES)
    file(STRINGS ${source} line REGEX "kVersion${part} = [0-9]+")
    if(line MATCHES "kVersion${part} = ([0-9]+)")
      set(ZV_VERSION_${part} ${CMAKE_MATCH_1})
      break()
    endif()
  endforeach()
endforeach()
if(DEFINED ZV_VERSION_Major AND DEFINED ZV_VERSION_Minor AND DEFINED ZV_VERSION_Build)
  # The build number is printed with five digits.
  string(LENGTH "${ZV_VERSION_Build}" build_digits)
  while(build_digits LESS 5)
    string(PREPEND ZV_VERSION_Build "0")
    math(EXPR build_digits "${build_digits} + 1")
  endwhile()
  set(ZV_VERSION "${ZV_VERSION_Major}.${ZV_VERSION_Minor}.${ZV_VERSION_Build}")
else()
  message(WARNING "version numbers not found in src/Appl/zelvanEacSniffer; the package gets 0.0.0")
  set(ZV_VERSION 0.0.0)
endif()

# --- install rules --------------------------------------------------------------

install(TARGETS zelvanEacSniffer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The dissector for the capture files goes where Wireshark and tshark load
# Lua plugins for every user: Debian's global plugin folder.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(ZV_WIRESHARK_PLUGIN_DIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/wireshark/plugins)
else()
  set(ZV_WIRESHARK_PLUGIN_DIR ${CMAKE_INSTALL_LIBDIR}/wireshark/plugins)
endif()
install(FILES wireshark/zvEac.lua DESTINATION ${ZV_WIRESHARK_PLUGIN_DIR})
# One sniffer per bus line under systemd, records to the journal.
install(FILES "packaging/zelvanEacSniffer@.service" DESTINATION lib/systemd/system)
set(ZV_MAN_PAGES zelvanEacSniffer.1)
if(TARGET zelvanEacBusSim)
  install(TARGETS zelvanEacBusSim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  list(APPEND ZV_MAN_PAGES zelvanEacBusSim.1)
endif()

# Debian ships manual pages compressed; gzip -n keeps the package
# reproducible (no name or time stamp inside).
find_program(ZV_GZIP gzip)
set(ZV_MAN_FILES "")
foreach(page IN LISTS ZV_MAN_PAGES)
  if(ZV_GZIP)
    set(compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
    add_custom_command(
      OUTPUT ${compressed}
      COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/man/${page} ${CMAKE_BINARY_DIR}/man/${page}
      COMMAND ${ZV_GZIP} -9 -n -f ${CMAKE_BINARY_DIR}/man/${page}
      DEPENDS ${CMAKE_SOURCE_DIR}/man/${page}
      VERBATIM)
    list(APPEND ZV_MAN_FILES ${compressed})
  else()
    list(APPEND ZV_MAN_FILES ${CMAKE_SOURCE_DIR}/man/${page})
  endif()
endforeach()
add_custom_target(zvManPages ALL DEPENDS ${ZV_MAN_FILES})
install(FILES ${ZV_MAN_FILES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES README.md packaging/copyright doc/records.schema.json DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${ZV_PACKAGE_NAME})

# --- Debian package -------------------------------------------------------------

set(ZV_PACKAGE_MAINTAINER "zelvanEacSniffer maintainers <maintainers@zelvan.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${ZV_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${ZV_VERSION})
string(REPLACE "." ";" version_parts ${ZV_VERSION})
list(GET version_parts 0 CPACK_PACKAGE_VERSION_MAJOR)
list(GET version_parts 1 CPACK_PACKAGE_VERSION_MINOR)
list(GET version_parts 2 CPACK_PACKAGE_VERSION_PATCH)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "passive sniffer and decoder for the ZELVAN EAC access-control bus")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "zelvanEacSniffer listens on the RS-485 line of a ZELVAN EAC bus (one master polling locks, readers and keypads), cuts the byte stream into frames, checks and decodes every telegram into readable text, reports devices going online and offline, and copies its reports into a log file on request. It never transmits on the bus.\nzelvanEacBusSim plays a simulated bus into a pseudo-terminal, a serial port or a file, for trying the sniffer without hardware.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZV_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# dpkg-shlibdeps (from dpkg-dev) works out the library packages the programs
# need at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_SOURCE_GENERATOR "")

include(CPack)
