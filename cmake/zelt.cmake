# Shared compile settings and the helpers that every module uses.

add_library(zelt_options INTERFACE)
target_compile_options(zelt_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow
                       -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wunused
                       -Woverloaded-virtual -Wnull-dereference -Wformat=2)
if(ZELT_WERROR)
  target_compile_options(zelt_options INTERFACE -Werror)
endif()
if(ZELT_SANITIZE)
  target_compile_options(zelt_options INTERFACE -fsanitize=address,undefined
                         -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(zelt_options INTERFACE -fsanitize=address,undefined)
endif()
# Sources include each other by their path from the project root: "runtime/values/day_number.hpp".
target_include_directories(zelt_options INTERFACE ${PROJECT_SOURCE_DIR})

# zelt_module(<name> DEPENDS <libs...>)
# One static library per module directory, built from every .cpp below it (outside of
# any sub-directory that declares a module of its own).
function(zelt_module name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(ex IN LISTS ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${CMAKE_CURRENT_SOURCE_DIR}/${ex}/")
  endforeach()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC zelt_options ${ARG_DEPENDS})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE zelt_options ${ARG_DEPENDS})
  endif()
endfunction()

# zelt_test_suite(<name> DIR <dir> DEPENDS <libs...>)
# One GoogleTest program per folder under tests/, every test registered with CTest with a
# time-out of two minutes, so that a test that hangs fails as itself instead of stalling
# the run (the longest tests take well under a minute on a busy machine). A suite whose
# tests need longer must say why where it gives TIMEOUT <seconds>, and the tools test that
# checks the limits must learn of it.
function(zelt_test_suite name)
  cmake_parse_arguments(ARG "" "DIR;TIMEOUT" "DEPENDS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE zelt_options ${ARG_DEPENDS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT ${ARG_TIMEOUT}
                       # An IDE that a test starts writes its output here, not in the home.
                       ENVIRONMENT XDG_STATE_HOME=${CMAKE_BINARY_DIR}/test-state)
endfunction()

# The release the programs name with --version (ZELT_VERSION, a text), for the programs only,
# so that a new release recompiles no library.
add_library(zelt_version INTERFACE)
target_compile_definitions(zelt_version INTERFACE ZELT_VERSION="${PROJECT_VERSION}")
