# Helpers shared by every folder.
include(GoogleTest)

# Adds every child folder of the current folder that has a CMakeLists.txt.
function(vx_add_children)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child}
       AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# vx_add_gtest(name SOURCES a.cpp b.cpp LIBS lib1 lib2 [TIMEOUT seconds] [ALONE c.cpp ...])
# One test executable; every test case becomes a CTest test. Window tests run offscreen.
function(vx_add_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;ALONE" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    VX_REAL_TESTDATA="${VX_REAL_TESTDATA}"
    VX_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}"
    VX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  # Test files are compiled four to a unit, so that the framework, Qt and project headers are
  # read once per four files: reading them is half of what compiling a test file costs. A file
  # whose own helpers share a name with another file's is compiled on its own (ALONE).
  set_target_properties(${name} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 4)
  # A unit includes its test files, and the compiler would warn of every fixture kept in a
  # file's anonymous namespace as if it were shared between files.
  target_compile_options(${name} PRIVATE -Wno-subobject-linkage)
  if(T_ALONE)
    set_source_files_properties(${T_ALONE} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
  endif()
  # In an optimised build the libraries and programs under test are optimised; the test code
  # itself is not, which saves about a third of its compile time and changes nothing it checks.
  target_compile_options(${name} PRIVATE $<$<CONFIG:Release>:-O0>)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 120
    PROPERTIES
      TIMEOUT ${T_TIMEOUT})
  # What every test needs is set on the test itself, so that ctest with or without a preset, a
  # single test picked with -R, and an IDE's runner all give the same result: windows drawn
  # offscreen, and the leak reports of the system's font and desktop libraries suppressed. The
  # two settings form a list, which the discovery's PROPERTIES would split; this file, read by
  # ctest after the discovered tests, sets it whole on every one of them.
  set(environment
      "QT_QPA_PLATFORM=offscreen"
      "LSAN_OPTIONS=use_tls=0:suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")
  set(environment_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake)
  file(WRITE ${environment_file}
    "if(DEFINED ${name}_TESTS)\n"
    "  set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT \"${environment}\")\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${environment_file})
endfunction()
