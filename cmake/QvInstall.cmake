# Installs the runtime as a small SDK: libraries, headers and a CMake package.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

foreach(r IN LISTS QV_REVISIONS)
  install(TARGETS qv_runtime_r${r} qv_main_r${r} EXPORT qvTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
endforeach()

install(DIRECTORY runtime stdlib geometry products
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qv
  FILES_MATCHING PATTERN "*.h")

install(EXPORT qvTargets NAMESPACE qv:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qv)
configure_package_config_file(cmake/qvConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/qvConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qv)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/qvConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qvConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/qvConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qv)
