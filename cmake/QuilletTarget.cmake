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

# A GoogleTest executable registered with CTest.
function(quillet_test target)
  add_executable(${target} ${ARGN})
  quillet_target(${target})
  target_link_libraries(${target} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
