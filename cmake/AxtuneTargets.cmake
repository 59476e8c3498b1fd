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
    # Updates run by the tests log into the build tree, never into the user's own data folder.
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300
                         ENVIRONMENT "XDG_DATA_HOME=${CMAKE_BINARY_DIR}/test-data-home")
  endif()
endfunction()

# Windows tests that need a COM port with the simulated drive behind it: run under Wine through a
# fixture that starts the native build's qmx-sim and maps a COM port of the Wine prefix to it.
#   axtune_wine_com_test(NAME name COMMAND target-or-exe [args...] [SIM_ARGS args...] [SILENT] [HOST])
# HOST: the command is a program of this machine (a script that starts the Windows programs itself).
set(AXTUNE_HOST_QMX_SIM "" CACHE FILEPATH "qmx-sim of a native build, for the Windows tests under Wine")
function(axtune_wine_com_test)
  cmake_parse_arguments(T "SILENT;HOST" "NAME" "COMMAND;SIM_ARGS" ${ARGN})
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(fixture ${PROJECT_SOURCE_DIR}/tests/support/wine_com_fixture.py
              --qmx-sim "${AXTUNE_HOST_QMX_SIM}" --prefix ${CMAKE_BINARY_DIR}/wineprefix)
  foreach(arg IN LISTS T_SIM_ARGS)
    list(APPEND fixture "--sim-arg=${arg}")
  endforeach()
  if(T_SILENT)
    list(APPEND fixture --silent)
  endif()
  list(POP_FRONT T_COMMAND program)
  if(TARGET ${program})
    set(program $<TARGET_FILE:${program}>)
  endif()
  set(emulator ${CMAKE_CROSSCOMPILING_EMULATOR})
  if(T_HOST)
    set(emulator)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${Python3_EXECUTABLE} ${fixture} -- ${emulator} ${program} ${T_COMMAND})
  # One at a time: the line timing of the boot load through Wine and a pseudo-terminal has little slack
  # when other tests load the two cores.
  set_tests_properties(${T_NAME} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900 RUN_SERIAL TRUE)
endfunction()
