# Common settings for every target of ours: warnings, the project root on the include
# path, and GBK as the execution character set so that string literals in the sources
# (written in UTF-8) are GBK bytes at run time, like every other text of the program.
function(quillet_target target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -finput-charset=UTF-8 -fexec-charset=GBK)
  endif()
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# A target that includes Qt's headers. They pull in <chrono>, whose C++20 unit suffix "µs"
# GBK cannot encode; GB18030 gives every GBK character the same bytes and encodes µ too.
function(quillet_qt_target target)
  quillet_target(${target})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -fexec-charset=GB18030)
  endif()
  set_target_properties(${target} PROPERTIES AUTOMOC ON)
endfunction()

# A GoogleTest executable registered with CTest. QUILLET_SOURCE_DIR lets tests find the
# helper scripts beside them: __FILE__ is relative when ccache rewrites paths.
function(quillet_test target)
  add_executable(${target} ${ARGN})
  quillet_target(${target})
  target_compile_definitions(${target} PRIVATE QUILLET_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  target_link_libraries(${target} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main)
  if(CMAKE_CROSSCOMPILING)
    # One CTest entry per executable: every start of a program under Wine costs far
    # more than a test case, and listing the cases would run each program at build time.
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES TIMEOUT 300)
  else()
    gtest_discover_tests(${target} WORKING_DIRECTORY ${CMAKE_BINARY_DIR} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  endif()
endfunction()
