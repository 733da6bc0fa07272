# The installable package: libraries, public headers, OrvaneConfig.cmake with its version file and the
# targets Orvane::Base, Orvane::Hal and Orvane::Driver, and orvane.pc for pkg-config.
include(CMakePackageConfigHelpers)

set_target_properties(OrvaneBase PROPERTIES EXPORT_NAME Base)
set_target_properties(OrvaneHal PROPERTIES EXPORT_NAME Hal)
set_target_properties(OrvaneDriver PROPERTIES EXPORT_NAME Driver)
# The public headers are C++20.
target_compile_features(OrvaneBase INTERFACE cxx_std_20)

set(ORVANE_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Orvane)
install(EXPORT OrvaneTargets NAMESPACE Orvane:: DESTINATION ${ORVANE_CMAKE_INSTALL_DIR})
configure_package_config_file(cmake/OrvaneConfig.cmake.in ${CMAKE_BINARY_DIR}/OrvaneConfig.cmake
                              INSTALL_DESTINATION ${ORVANE_CMAKE_INSTALL_DIR})
# 0.x: a minor version may change the interface.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/OrvaneConfigVersion.cmake COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/OrvaneConfig.cmake ${CMAKE_BINARY_DIR}/OrvaneConfigVersion.cmake
        DESTINATION ${ORVANE_CMAKE_INSTALL_DIR})

file(RELATIVE_PATH ORVANE_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" ORVANE_PC_TO_PREFIX "${ORVANE_PC_TO_PREFIX}")
configure_file(cmake/orvane.pc.in ${CMAKE_BINARY_DIR}/orvane.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/orvane.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
