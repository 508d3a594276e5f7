# Helpers that build every runtime source once per revision.
set(QV_REVISIONS 1 2 3)

# qv_add_revision_objects(<name> <sources>...)
# Makes the object libraries <name>_r1, <name>_r2 and <name>_r3, each compiled with
# QV_REVISION=<r>, and adds them to the runtime library of that revision.
function(qv_add_revision_objects name)
  foreach(r IN LISTS QV_REVISIONS)
    add_library(${name}_r${r} OBJECT ${ARGN})
    target_compile_definitions(${name}_r${r} PUBLIC QV_REVISION=${r})
    target_include_directories(${name}_r${r} PUBLIC
      $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
    set_property(GLOBAL APPEND PROPERTY QV_RUNTIME_OBJECTS_r${r} ${name}_r${r})
  endforeach()
endfunction()

# Makes qv_runtime_r<r> (subsystems 1, 3 to 6) and qv_main_r<r> (only main).
function(qv_add_runtime_libraries)
  foreach(r IN LISTS QV_REVISIONS)
    get_property(objects GLOBAL PROPERTY QV_RUNTIME_OBJECTS_r${r})
    add_library(qv_runtime_r${r} STATIC)
    foreach(o IN LISTS objects)
      target_sources(qv_runtime_r${r} PRIVATE $<TARGET_OBJECTS:${o}>)
    endforeach()
    target_compile_definitions(qv_runtime_r${r} PUBLIC QV_REVISION=${r})
    target_include_directories(qv_runtime_r${r} PUBLIC
      $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
      $<INSTALL_INTERFACE:include/qv>)
    target_link_libraries(qv_runtime_r${r} PUBLIC m)
    set_target_properties(qv_runtime_r${r} PROPERTIES LINKER_LANGUAGE CXX EXPORT_NAME runtime_r${r})
    add_library(qv::runtime_r${r} ALIAS qv_runtime_r${r})

    add_library(qv_main_r${r} STATIC ${PROJECT_SOURCE_DIR}/runtime/executive/main.cpp)
    target_compile_definitions(qv_main_r${r} PRIVATE QV_REVISION=${r})
    target_include_directories(qv_main_r${r} PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(qv_main_r${r} PUBLIC qv_runtime_r${r})
    set_target_properties(qv_main_r${r} PROPERTIES EXPORT_NAME main_r${r})
    add_library(qv::main_r${r} ALIAS qv_main_r${r})
  endforeach()
endfunction()

# qv_add_program(<name> REVISION <r> SOURCES <sources>...)
# A simulation program: model code linked with main and the runtime of one revision.
function(qv_add_program name)
  cmake_parse_arguments(P "" "REVISION" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${P_SOURCES})
  target_compile_definitions(${name} PRIVATE QV_REVISION=${P_REVISION})
  target_link_libraries(${name} PRIVATE ${P_LIBRARIES} qv_main_r${P_REVISION} qv_runtime_r${P_REVISION})
endfunction()
