# How the build installs: the two executables with their man pages, desktop entry
# and icon (component "applications"); the libraries CSql, EDiv and the platform
# layer with their headers, a CMake package and a pkg-config file (component
# "development"). CPack turns the two components into the Debian packages
# tavinor and tavinor-dev.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TAVINOR_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
# Headers go below include/tavinor/ so that the folder names platform/, sqllib/ and
# util/ do not land in the system's include directory itself.
set(TAVINOR_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/tavinor)
set(TAVINOR_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tavinor)

# ---- Libraries: the names other applications see ----
# Within this build the same names are aliases, so code here and a consumer of the
# installed package spell the targets alike.
foreach(library IN ITEMS platform:Platform sqllib:CSql util:EDiv)
  string(REPLACE ":" ";" pair ${library})
  list(GET pair 0 target)
  list(GET pair 1 name)
  string(TOLOWER ${name} lower)
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${name} OUTPUT_NAME tavinor_${lower})
  # The headers use C++20; a consumer's compiler must be told so.
  target_compile_features(${target} PUBLIC cxx_std_20)
  add_library(Tavinor::${name} ALIAS ${target})
endforeach()

install(TARGETS platform sqllib util
        EXPORT TavinorTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
        INCLUDES DESTINATION ${TAVINOR_INSTALL_INCLUDEDIR})
# A stripping install (cmake --install --strip, the packages) drops the libraries'
# debug sections too, which CMake strips from executables only.
foreach(target IN ITEMS platform sqllib util)
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:${target}>\")
endif()" COMPONENT development)
endforeach()
# The Qt window toolkit (qt_ui.h) belongs to the window, not to the libraries.
install(DIRECTORY platform/include/platform DESTINATION ${TAVINOR_INSTALL_INCLUDEDIR} COMPONENT development
        PATTERN qt_ui.h EXCLUDE)
install(DIRECTORY sqllib/include/sqllib util/include/util DESTINATION ${TAVINOR_INSTALL_INCLUDEDIR}
        COMPONENT development)

install(EXPORT TavinorTargets NAMESPACE Tavinor:: DESTINATION ${TAVINOR_INSTALL_CMAKEDIR} COMPONENT development)
configure_package_config_file(cmake/TavinorConfig.cmake.in ${PROJECT_BINARY_DIR}/TavinorConfig.cmake
                              INSTALL_DESTINATION ${TAVINOR_INSTALL_CMAKEDIR})
# Before 1.0 a minor version may change the interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TavinorConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TavinorConfig.cmake ${PROJECT_BINARY_DIR}/TavinorConfigVersion.cmake
        DESTINATION ${TAVINOR_INSTALL_CMAKEDIR} COMPONENT development)

# The prefix is found from the file's own place, so the same file serves an install
# under any --prefix and the packages' /usr.
file(RELATIVE_PATH TAVINOR_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" TAVINOR_PC_TO_PREFIX "${TAVINOR_PC_TO_PREFIX}")
configure_file(cmake/tavinor.pc.in ${PROJECT_BINARY_DIR}/tavinor.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tavinor.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)

# ---- Applications ----
set(tavinor_programs tavinor-convert)
if(TAVINOR_BUILD_GUI)
  list(APPEND tavinor_programs tavinor)
endif()
install(TARGETS ${tavinor_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT applications)

# Man pages carry the project's version and are installed compressed, as Debian
# ships them.
find_program(TAVINOR_GZIP gzip REQUIRED)
set(tavinor_man_pages)
foreach(program IN LISTS tavinor_programs)
  set(page ${PROJECT_BINARY_DIR}/man/${program}.1)
  configure_file(${TAVINOR_PACKAGING_DIR}/man/${program}.1.in ${page} @ONLY)
  add_custom_command(OUTPUT ${page}.gz
                     COMMAND ${TAVINOR_GZIP} -9nc ${page} > ${page}.gz
                     DEPENDS ${page}
                     COMMENT "Compressing the man page ${program}(1)")
  list(APPEND tavinor_man_pages ${page}.gz)
endforeach()
add_custom_target(man_pages ALL DEPENDS ${tavinor_man_pages})
install(FILES ${tavinor_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT applications)
# The JSON Schema of tavinor-convert --report, for scripts that read reports.
install(FILES ${PROJECT_SOURCE_DIR}/app/cli/report.schema.json DESTINATION ${CMAKE_INSTALL_DATADIR}/tavinor
        COMPONENT applications)

if(TAVINOR_BUILD_GUI)
  install(FILES ${TAVINOR_PACKAGING_DIR}/tavinor.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
          COMPONENT applications)
  install(FILES ${TAVINOR_PACKAGING_DIR}/tavinor.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT applications)
endif()

# ---- Checks of what is installed ----
if(TAVINOR_BUILD_TESTS)
  # Each man page documents exactly the options its program's --help lists, and
  # names the version the program reports.
  foreach(program IN LISTS tavinor_programs)
    add_test(NAME man_page_options.${program}
             COMMAND ${PROJECT_SOURCE_DIR}/tests/packaging/man_options_test.sh $<TARGET_FILE:${program}>
                     ${PROJECT_BINARY_DIR}/man/${program}.1 ${PROJECT_VERSION})
  endforeach()
  add_test(NAME debian_postinst_registers_driver
           COMMAND ${PROJECT_SOURCE_DIR}/tests/packaging/postinst_test.sh ${TAVINOR_PACKAGING_DIR}/debian/postinst)
endif()

# ---- Debian packages (cpack in the build folder) ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavinor)
set(CPACK_PACKAGE_VENDOR "Tavinor")
# Each package's description below starts with its own summary line, so no
# CPACK_PACKAGE_DESCRIPTION_SUMMARY: CPack would put that one in front of both.
set(CPACK_PACKAGE_CONTACT "Tavinor maintainers <tavinor@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL applications development)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_APPLICATIONS_PACKAGE_NAME tavinor)
# Shared libraries (unixODBC, Qt, the C++ runtime) come from dpkg-shlibdeps; the
# driver is loaded by name at run time and odbcinst registers it, so both are named.
set(CPACK_DEBIAN_APPLICATIONS_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_APPLICATIONS_PACKAGE_DEPENDS "tdsodbc, odbcinst, unixodbc")
set(CPACK_DEBIAN_APPLICATIONS_PACKAGE_RECOMMENDS "man-db")
set(CPACK_DEBIAN_APPLICATIONS_PACKAGE_CONTROL_EXTRA ${TAVINOR_PACKAGING_DIR}/debian/postinst)
set(CPACK_DEBIAN_APPLICATIONS_DESCRIPTION
    "SQL Server structure checks: tavinor-convert and the tavinor window
Brings MovCliente.DataSys to datetime null in every Parvimar database of a SQL
Server, from the command line (tavinor-convert) or from a window (tavinor).
Connects through unixODBC and the FreeTDS ODBC driver.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME tavinor-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "unixodbc-dev")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
    "SQL Server access (CSql) and utility (EDiv) libraries: development files
Static libraries, headers, the CMake package Tavinor (Tavinor::CSql,
Tavinor::EDiv, Tavinor::Platform) and the pkg-config file tavinor.pc.")
include(CPack)
