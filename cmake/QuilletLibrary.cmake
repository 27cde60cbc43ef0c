# One static library per source folder: every .cpp below the folder belongs to it, so adding a
# file needs no edit here.
# PROGRAM names sources of the folder that belong to a program instead (its main).
function(quillet_add_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;PROGRAM" ${ARGN})
  # For the layering test: the folder, the library and the libraries of ours it depends on.
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set(ours ${ARG_DEPENDS})
  # Qt6::Widgets is listed too: only the libraries that declare it may include its headers.
  list(FILTER ours INCLUDE REGEX "^(quillet_|Qt6::Widgets$)")
  list(JOIN ours "|" ours)
  set_property(GLOBAL APPEND PROPERTY QUILLET_LAYERS "${folder}|${name}|${ours}")
  file(GLOB_RECURSE files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  # A sub-folder with a CMakeLists of its own builds on its own (app/demo/service).
  file(GLOB_RECURSE rooms CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  foreach(room ${rooms})
    get_filename_component(room ${room} DIRECTORY)
    foreach(file ${files})
      string(FIND "${file}" "${room}/" at)
      if(at EQUAL 0)
        list(REMOVE_ITEM files ${file})
      endif()
    endforeach()
  endforeach()
  set(sources ${files})
  list(FILTER sources INCLUDE REGEX "\\.cpp$")
  foreach(program ${ARG_PROGRAM})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${program})
  endforeach()
  if(sources)
    set(headers ${files})
    list(FILTER headers INCLUDE REGEX "\\.h$")
    add_library(${name} STATIC ${sources} ${headers})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
  else()
    # A folder whose code has not been written yet still gives its target.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPENDS})
  endif()
endfunction()

# Test code (tests, their support, fuzz replays) is not what the package ships: in an optimised
# build it compiles without optimisation, in about half the time, while the libraries it tests
# stay optimised as shipped.
function(quillet_test_code target)
  target_compile_options(${target} PRIVATE $<$<NOT:$<CONFIG:Debug>>:-O0>)
endfunction()

# One test executable per test source file (tests/<mirror>/<Unit>Test.cpp).
function(quillet_add_test source)
  get_filename_component(stem ${source} NAME_WE)
  set(rel ${source})
  get_filename_component(dir ${rel} DIRECTORY)
  string(REPLACE "/" "_" prefix "${dir}")
  set(target "test_${prefix}_${stem}")
  add_executable(${target} ${PROJECT_SOURCE_DIR}/tests/${source})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  quillet_test_code(${target})
  # A test links the library of the folder it mirrors (tests/app/core -> quillet_core), so a unit
  # is tested without building what sits above it.
  if(dir MATCHES "^app/([a-z]+)")
    set(unit quillet_${CMAKE_MATCH_1})
  elseif(dir MATCHES "^extension/native")
    set(unit quillet_extension)
  elseif(dir MATCHES "^(platform|common)")
    set(unit quillet_${CMAKE_MATCH_1})
  else()
    set(unit quillet_cli)
  endif()
  target_link_libraries(${target} PRIVATE ${unit} quillet_test_support GTest::gtest GTest::gmock)
  set(environment "QT_QPA_PLATFORM=offscreen;LANG=en_US.UTF-8;LC_ALL=")
  if(unit STREQUAL "quillet_ui")
    # Widget tests run a QApplication of their own (its main wins over the support library's)
    # and, as root, the web engine without its sandbox.
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/ui/UiTestMain.cpp)
    target_link_libraries(${target} PRIVATE quillet_ui_test_support)
    # The web engine's own allocator frees some objects with a sized delete of another type.
    list(APPEND environment "QTWEBENGINE_DISABLE_SANDBOX=1"
      "ASAN_OPTIONS=detect_leaks=1:new_delete_type_mismatch=0")
  endif()
  if(unit STREQUAL "quillet_extension")
    add_dependencies(${target} quillet-webmail-host)
  endif()
  if(unit STREQUAL "quillet_cli" OR dir MATCHES "^app/cli")
    add_dependencies(${target} quillet)
  endif()
  add_test(NAME ${prefix}/${stem} COMMAND ${target})
  set_tests_properties(${prefix}/${stem} PROPERTIES TIMEOUT 300 ENVIRONMENT "${environment}")
endfunction()
