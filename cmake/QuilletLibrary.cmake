# One static library per source folder: every .cpp below the folder belongs to it, so adding a
# file needs no edit here.
function(quillet_add_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(FILTER sources INCLUDE REGEX "\\.cpp$")
  if(sources)
    file(GLOB_RECURSE headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
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

# One test executable per test source file (tests/<mirror>/<Unit>Test.cpp).
function(quillet_add_test source)
  get_filename_component(stem ${source} NAME_WE)
  set(rel ${source})
  get_filename_component(dir ${rel} DIRECTORY)
  string(REPLACE "/" "_" prefix "${dir}")
  set(target "test_${prefix}_${stem}")
  add_executable(${target} ${PROJECT_SOURCE_DIR}/tests/${source})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${target} PRIVATE quillet_test_support GTest::gtest GTest::gmock)
  add_test(NAME ${prefix}/${stem} COMMAND ${target})
  set_tests_properties(${prefix}/${stem} PROPERTIES TIMEOUT 300
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=en_US.UTF-8;LC_ALL=")
endfunction()
