# Helpers shared by every component.

# Our own targets build with all warnings as errors; third-party code never goes through this.
function(axtune_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  endif()
endfunction()

# Where the real TI COFF files live (beside the repository, never inside it). Tests that need them
# skip with a plain message when the folder is absent.
set(AXTUNE_TESTDATA_DIR "${CMAKE_SOURCE_DIR}/../shared/testdata" CACHE PATH "Folder with the real COFF test files")

# A GoogleTest executable registered with CTest.
function(axtune_gtest name)
  add_executable(${name} ${ARGN})
  axtune_warnings(${name})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE AXTUNE_TESTDATA_DIR="${AXTUNE_TESTDATA_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
