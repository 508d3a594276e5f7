# The web panel of qvctl serve: an HTTP server library (Debian builds it as a shared
# library, which the installed qvctl then needs), a header-only JSON library, and the
# page's files with three.js compiled into qvctl, so that no page file is needed at run
# time.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(QV_HTTPLIB QUIET IMPORTED_TARGET cpp-httplib)
endif()
find_package(nlohmann_json 3 QUIET)
set(QV_THREE_DIR /usr/share/javascript/three CACHE PATH "three.js as Debian's libjs-three installs it")
if(NOT QV_HTTPLIB_FOUND OR NOT nlohmann_json_FOUND OR NOT EXISTS ${QV_THREE_DIR}/three.min.js)
  message(FATAL_ERROR "qvctl serve needs pkg-config, libcpp-httplib-dev, nlohmann-json3-dev and libjs-three "
                      "(on Debian: sudo apt-get install pkg-config libcpp-httplib-dev nlohmann-json3-dev libjs-three)")
endif()
find_package(Threads REQUIRED)
target_sources(qvctl PRIVATE
  ${PROJECT_SOURCE_DIR}/supervisor/web/serve.cpp
  ${PROJECT_SOURCE_DIR}/supervisor/web/serve_actions.cpp
  ${PROJECT_SOURCE_DIR}/supervisor/web/serve_session.cpp
  ${CMAKE_CURRENT_BINARY_DIR}/serve_assets.cpp)
target_link_libraries(qvctl PRIVATE PkgConfig::QV_HTTPLIB nlohmann_json::nlohmann_json Threads::Threads)

set(web ${PROJECT_SOURCE_DIR}/supervisor/web)
set(qv_web_files
  index.html=${web}/index.html
  panel.css=${web}/panel.css
  panel.js=${web}/panel.js
  online.js=${web}/online.js
  online.css=${web}/online.css
  machine.js=${web}/machine.js
  trend.js=${web}/trend.js
  scene.js=${web}/scene.js
  three.min.js=${QV_THREE_DIR}/three.min.js
  OrbitControls.js=${QV_THREE_DIR}/examples/js/controls/OrbitControls.js)
# three.js is MIT-licensed: its copyright notice travels with the copy compiled in.
if(EXISTS /usr/share/doc/libjs-three/copyright)
  list(APPEND qv_web_files three-copyright.txt=/usr/share/doc/libjs-three/copyright)
endif()
set(qv_web_paths "")
foreach(entry IN LISTS qv_web_files)
  string(REGEX REPLACE "^[^=]*=" "" path "${entry}")
  list(APPEND qv_web_paths ${path})
endforeach()
string(REPLACE ";" "|" qv_web_argument "${qv_web_files}")
add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/serve_assets.cpp
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${CMAKE_CURRENT_BINARY_DIR}/serve_assets.cpp "-DASSETS=${qv_web_argument}"
          -P ${web}/embed.cmake
  DEPENDS ${qv_web_paths} ${web}/embed.cmake
  COMMENT "Compiling the web panel's files into qvctl"
  VERBATIM)
