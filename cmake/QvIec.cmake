# qv_add_iec_program(<target> SOURCES <file.st|project.xml>... [REVISION r] [PROGRAM name] [PERIOD time])
#
# A simulation program from IEC 61131-3 sources, Structured Text files and PLCopen XML
# projects as an editor exports them (one may use the function blocks of another): at
# build time `qvc emit` translates the sources into C (again whenever a source or qvc
# changes), the C is compiled into the
# executable <target>, linked with main and the runtime of revision r (default 3), and
# <target>.symbols.json is put beside it, so that qvctl, the panel and the Python client
# name its variables by their IEC paths. PROGRAM picks the PROGRAM to run when the
# sources hold several; PERIOD is its cycle (a duration such as 20ms; default 50 ms).
#
# Inside this project qvc is the build's own target; from an install, find_package(qv)
# gives the qvc installed with the runtime (qv::qvc).
#
# This file is also the build-time step itself: run with `cmake -P`, it calls qvc emit and
# names what qvc wrote after the target, whatever the PROGRAM is called.
if(CMAKE_SCRIPT_MODE_FILE)
  # cmake -D QVC=... -D QVC_DIR=... -D QVC_TARGET=... -D QVC_OPTIONS=... -P QvIec.cmake -- <sources>
  set(sources)
  set(after_separator FALSE)
  foreach(k RANGE 1 ${CMAKE_ARGC})
    if(k EQUAL CMAKE_ARGC)
      break()
    endif()
    if(after_separator)
      list(APPEND sources "${CMAKE_ARGV${k}}")
    elseif(CMAKE_ARGV${k} STREQUAL "--")
      set(after_separator TRUE)
    endif()
  endforeach()
  separate_arguments(options UNIX_COMMAND "${QVC_OPTIONS}")
  set(emitted "${QVC_DIR}/emitted")
  file(REMOVE_RECURSE "${emitted}")
  execute_process(COMMAND "${QVC}" emit ${sources} -o "${emitted}" ${options}
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "qvc could not translate ${QVC_TARGET}'s sources")
  endif()
  file(GLOB c_files "${emitted}/*.c")
  file(GLOB descriptions "${emitted}/*.symbols.json")
  list(LENGTH c_files c_count)
  list(LENGTH descriptions description_count)
  if(NOT c_count EQUAL 1 OR NOT description_count EQUAL 1)
    message(FATAL_ERROR "qvc emit left ${c_count} C files and ${description_count} descriptions in ${emitted}, not one of each")
  endif()
  # The description is the executable's: it carries the target's name, as qvc build -o does.
  file(READ "${descriptions}" description)
  string(JSON description SET "${description}" program "\"${QVC_TARGET}\"")
  file(WRITE "${QVC_DIR}/${QVC_TARGET}.symbols.json" "${description}\n")
  file(COPY_FILE "${c_files}" "${QVC_DIR}/${QVC_TARGET}.c")
  return()
endif()

include_guard(GLOBAL)
set(_QV_IEC_SCRIPT "${CMAKE_CURRENT_LIST_FILE}")

function(qv_add_iec_program target)
  cmake_parse_arguments(P "" "REVISION;PROGRAM;PERIOD" "SOURCES" ${ARGN})
  if(P_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "qv_add_iec_program(${target}): unknown arguments ${P_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT P_SOURCES)
    message(FATAL_ERROR "qv_add_iec_program(${target}): no SOURCES")
  endif()
  if(NOT DEFINED P_REVISION)
    set(P_REVISION 3)
  endif()
  if(NOT P_REVISION MATCHES "^[123]$")
    message(FATAL_ERROR "qv_add_iec_program(${target}): REVISION is 1, 2 or 3, not ${P_REVISION}")
  endif()

  # The build's own qvc, or the installed one.
  if(TARGET qvc)
    set(qvc_target qvc)
    set(main qv_main_r${P_REVISION})
    set(runtime qv_runtime_r${P_REVISION})
  elseif(TARGET qv::qvc)
    set(qvc_target qv::qvc)
    set(main qv::main_r${P_REVISION})
    set(runtime qv::runtime_r${P_REVISION})
  else()
    message(FATAL_ERROR "qv_add_iec_program(${target}): qvc is neither a target of this build nor installed with the qv package")
  endif()

  set(options --revision ${P_REVISION})
  if(P_PROGRAM)
    list(APPEND options --program ${P_PROGRAM})
  endif()
  if(P_PERIOD)
    list(APPEND options --period ${P_PERIOD})
  endif()
  list(JOIN options " " options)

  set(sources)
  foreach(s IN LISTS P_SOURCES)
    get_filename_component(s "${s}" ABSOLUTE)
    list(APPEND sources "${s}")
  endforeach()

  set(dir "${CMAKE_CURRENT_BINARY_DIR}/${target}.iec")
  add_custom_command(
    OUTPUT "${dir}/${target}.c" "${dir}/${target}.symbols.json"
    COMMAND ${CMAKE_COMMAND} -D "QVC=$<TARGET_FILE:${qvc_target}>" -D "QVC_DIR=${dir}"
            -D "QVC_TARGET=${target}" -D "QVC_OPTIONS=${options}" -P "${_QV_IEC_SCRIPT}" -- ${sources}
    DEPENDS ${sources} ${qvc_target} "${_QV_IEC_SCRIPT}"
    COMMENT "qvc: translating the IEC 61131-3 sources of ${target}"
    VERBATIM)

  add_executable(${target} "${dir}/${target}.c")
  # The program's task name is its executable's name, as with qvc build -o.
  target_compile_definitions(${target} PRIVATE QV_REVISION=${P_REVISION} "QVC_TASKNAME=\"${target}\"")
  target_link_libraries(${target} PRIVATE ${main} ${runtime})
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE CXX)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "${dir}/${target}.symbols.json"
            "$<TARGET_FILE:${target}>.symbols.json"
    VERBATIM)
endfunction()
