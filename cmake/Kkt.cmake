# Helpers shared by every folder: one static library per folder, warnings as errors,
# one test executable per tests/ folder.

set(KKT_WARNINGS -Wall -Wextra -Wpedantic -Werror)

function(kkt_warnings target)
  target_compile_options(${target} PRIVATE ${KKT_WARNINGS})
endfunction()

# kkt_add_library(<name> [DEPS <lib>...] [PUBLIC_LIBS <lib>...])
# Builds every .cpp of the calling folder into a static library named after the folder.
function(kkt_add_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;PUBLIC_LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(${name} STATIC ${sources})
    kkt_warnings(${name})
    target_include_directories(${name} PUBLIC ${KKT_SOURCE_ROOT})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} ${ARG_PUBLIC_LIBS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${KKT_SOURCE_ROOT})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS} ${ARG_PUBLIC_LIBS})
  endif()
endfunction()

# kkt_add_tests(<folder> [DEPS <lib>...] [LABELS <label>...])
# Builds every *Test.cpp of the calling folder into bin/kkt-tests-<folder>, one CTest entry.
function(kkt_add_tests folder)
  cmake_parse_arguments(ARG "" "TIMEOUT" "DEPS;LABELS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
  if(NOT sources)
    return()
  endif()
  file(GLOB support CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Support.cpp)
  set(target kkt-tests-${folder})
  add_executable(${target} ${sources} ${support})
  kkt_warnings(${target})
  target_include_directories(${target} PRIVATE ${KKT_SOURCE_ROOT} ${CMAKE_SOURCE_DIR}/tests
                                                ${CMAKE_SOURCE_DIR}/sim)
  target_link_libraries(${target} PRIVATE ${ARG_DEPS} GTest::gmock_main Threads::Threads)
  add_test(NAME ${folder} COMMAND ${target})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${folder} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()
