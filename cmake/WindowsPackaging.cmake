# The .zip for Windows PCs (cpack in the build folder, or
# scripts/build-windows.sh): zelvanEacSniffer.exe and the README, at the top
# of the archive.

# The version the program prints, read from its source.
file(GLOB ZV_VERSION_SOURCES ${CMAKE_SOURCE_DIR}/src/Appl/zelvanEacSniffer/*.cpp)
set(ZV_VERSION_LINES "")
foreach(source IN LISTS ZV_VERSION_SOURCES)
  file(STRINGS ${source} lines REGEX "kVersion(Major|Minor|Build) = [0-9]+")
  list(APPEND ZV_VERSION_LINES ${lines})
endforeach()
set(ZV_WINDOWS_VERSION "")
foreach(part IN ITEMS Major Minor Build)
  set(number 0)
  foreach(line IN LISTS ZV_VERSION_LINES)
    if(line MATCHES "kVersion${part} = ([0-9]+)")
      set(number ${CMAKE_MATCH_1})
    endif()
  endforeach()
  list(APPEND ZV_WINDOWS_VERSION ${number})
endforeach()
list(GET ZV_WINDOWS_VERSION 0 CPACK_PACKAGE_VERSION_MAJOR)
list(GET ZV_WINDOWS_VERSION 1 CPACK_PACKAGE_VERSION_MINOR)
list(GET ZV_WINDOWS_VERSION 2 CPACK_PACKAGE_VERSION_PATCH)

install(TARGETS zelvanEacSniffer RUNTIME DESTINATION .)
install(FILES README.md DESTINATION .)
# The HTML reports carry the plotting library inside them: its licence goes along.
install(FILES third_party/uplot/LICENSE DESTINATION . RENAME LICENSE-uPlot.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME zelvanEacSniffer)
set(CPACK_PACKAGE_VERSION
    "${CPACK_PACKAGE_VERSION_MAJOR}.${CPACK_PACKAGE_VERSION_MINOR}.${CPACK_PACKAGE_VERSION_PATCH}")
set(CPACK_SYSTEM_NAME win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
