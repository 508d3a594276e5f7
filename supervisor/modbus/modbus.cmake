# qvctl modbus: the Modbus TCP face, on Debian's libmodbus (libmodbus-dev), found with
# pkg-config. The map file reader is a library of its own so that its fuzz target links
# it without the server.
find_package(PkgConfig REQUIRED)
pkg_check_modules(QV_LIBMODBUS QUIET IMPORTED_TARGET GLOBAL libmodbus)
if(NOT QV_LIBMODBUS_FOUND)
  message(FATAL_ERROR "qvctl modbus needs libmodbus (on Debian: sudo apt-get install libmodbus-dev)")
endif()
add_library(qv_modbus_map STATIC ${PROJECT_SOURCE_DIR}/supervisor/modbus/map.cpp)
target_include_directories(qv_modbus_map PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qv_modbus_map PRIVATE nlohmann_json::nlohmann_json)
target_sources(qvctl PRIVATE
  ${PROJECT_SOURCE_DIR}/supervisor/modbus/binding.cpp
  ${PROJECT_SOURCE_DIR}/supervisor/modbus/command.cpp
  ${PROJECT_SOURCE_DIR}/supervisor/modbus/poll.cpp
  ${PROJECT_SOURCE_DIR}/supervisor/modbus/server.cpp
  ${PROJECT_SOURCE_DIR}/supervisor/modbus/session.cpp)
target_link_libraries(qvctl PRIVATE qv_modbus_map PkgConfig::QV_LIBMODBUS)
