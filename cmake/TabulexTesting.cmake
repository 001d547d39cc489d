# Test helpers shared by every tests/<area>/ folder.
#
# tabulex_add_gtests(LIBS <targets...>) turns every *_test.cpp in the calling
# folder into a GoogleTest executable of its own, so one broken file never
# takes the others down. A file named *_slow_test.cpp gets the label
# "<area>_slow" instead of "<area>"
# (a quick run skips it with: ctest -LE slow).
find_package(GTest REQUIRED)
include(GoogleTest)

function(tabulex_add_gtests)
  cmake_parse_arguments(ARG "" "" "LIBS;LABELS" ${ARGN})
  get_filename_component(area ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  file(GLOB support_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp)
  foreach(source IN LISTS test_sources)
    get_filename_component(name ${source} NAME_WE)
    set(target ${area}_${name})
    add_executable(${target} ${source} ${support_sources})
    target_compile_options(${target} PRIVATE ${TABULEX_WARNINGS})
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} tabulex_test_support GTest::gtest GTest::gtest_main GTest::gmock)
    target_compile_definitions(${target} PRIVATE
      TABULEX_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
      TABULEX_BINARY_DIR="${CMAKE_BINARY_DIR}")
    # One label per test: gtest_discover_tests cannot carry a list. ctest's
    # -L and -LE take regular expressions, so "jet_slow" answers to both
    # -L jet and -LE slow.
    set(label ${area})
    if(name MATCHES "_slow_test$")
      set(label ${area}_slow)
    endif()
    # The cases of one file share fixtures (a suite's database on the rig,
    # its files), so a parallel ctest runs them one after another; different
    # files still run side by side.
    gtest_discover_tests(${target}
      DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS ${label} RESOURCE_LOCK ${target})
  endforeach()
endfunction()
