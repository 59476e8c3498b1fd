# Helpers shared by every component.

# Our own targets build with all warnings as errors; third-party code never goes through this.
function(axtune_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
    # mingw-w64 GCC 12 at -O3 warns about overlapping copies inside libstdc++'s own std::string code (GCC bug
    # 105329); the warning is about the library, not ours.
    if(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)
    endif()
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
  if(CMAKE_CROSSCOMPILING)
    # Under an emulator (Wine) every start costs time: one CTest entry per program, not per case.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  endif()
endfunction()
