# Installs the runtime as a small SDK: the libraries of each revision, the public C
# headers, the CMake package, qvctl and qvc (which finds the headers and libraries
# relative to its own bin/). Build what it installs first:
#   cmake --build <build> --target qv_sdk && cmake --install <build> --prefix <prefix>
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QV_SDK_TARGETS qvctl)
if(TARGET qvc)
  list(APPEND QV_SDK_TARGETS qvc)
endif()
foreach(r IN LISTS QV_REVISIONS)
  list(APPEND QV_SDK_TARGETS qv_runtime_r${r} qv_main_r${r})
endforeach()
add_custom_target(qv_sdk DEPENDS ${QV_SDK_TARGETS})

# An install from a build that made only some targets (the demo's, for one) says what to
# build rather than failing on the first missing file.
set(QV_SDK_FILES)
foreach(t IN LISTS QV_SDK_TARGETS)
  list(APPEND QV_SDK_FILES "$<TARGET_FILE:${t}>")
endforeach()
install(CODE "
  foreach(f IN ITEMS ${QV_SDK_FILES})
    if(NOT EXISTS \"\${f}\")
      message(FATAL_ERROR \"\${f} is not built: run cmake --build ${CMAKE_BINARY_DIR} --target qv_sdk first\")
    endif()
  endforeach()")

foreach(r IN LISTS QV_REVISIONS)
  install(TARGETS qv_runtime_r${r} qv_main_r${r} EXPORT qvTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
endforeach()
install(TARGETS qvctl)
# qv::qvc in the package, for qv_add_iec_program.
if(TARGET qvc)
  install(TARGETS qvc EXPORT qvTargets)
endif()

# The C boundary and what its headers include; the image layout for supervisor writers.
set(QV_PUBLIC_HEADERS
  runtime/executive/qv_executive.h
  runtime/debug/qv_debug.h
  products/qv_products.h
  geometry/qv_geometry.h
  stdlib/qv_stdlib.h
  stdlib/function_blocks.h
  stdlib/bit_strings.h
  stdlib/selection.h
  stdlib/comparison.h
  stdlib/arithmetic.h
  stdlib/numeric.h
  stdlib/time_arithmetic.h
  stdlib/conversions.h
  stdlib/string_conversions.h
  stdlib/string_functions.h
  sdk/qv_model.h
  sdk/qv_model.hpp
  runtime/executive/image_layout.h)
foreach(h IN LISTS QV_PUBLIC_HEADERS)
  get_filename_component(folder ${h} DIRECTORY)
  install(FILES ${h} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qv/${folder})
endforeach()

install(EXPORT qvTargets NAMESPACE qv:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qv)
configure_package_config_file(cmake/qvConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/qvConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qv)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/qvConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qvConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/qvConfigVersion.cmake
  cmake/QvModel.cmake
  cmake/QvIec.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qv)
