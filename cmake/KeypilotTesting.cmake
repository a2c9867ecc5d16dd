# Test helpers shared by every tests/<subsystem>/CMakeLists.txt.

set(KEYPILOT_TESTBED_DIR ${CMAKE_BINARY_DIR}/testbed CACHE PATH "State of the Wine testbed (prefix, ports, pids)")
if(WIN32 AND CMAKE_CROSSCOMPILING)
    # ctest runs every Windows executable through the testbed's Wine environment.
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh ${KEYPILOT_TESTBED_DIR})
endif()

# A GoogleTest executable that runs under Wine inside the testbed.
#   keypilot_wine_test(<name> SOURCES ... LIBS ... [TIMEOUT s] [LABELS ...])
function(keypilot_wine_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} gmock gtest_main)
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
    set_tests_properties(${name} PROPERTIES
        FIXTURES_REQUIRED wine_testbed
        RESOURCE_LOCK wine_testbed
        TIMEOUT ${ARG_TIMEOUT}
        LABELS "wine;${ARG_LABELS}")
endfunction()

# A GoogleTest executable for the portable core, run natively (under the sanitizers when enabled).
function(keypilot_native_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    if(WIN32)
        return()
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} gmock gtest_main)
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
    set_tests_properties(${name} PROPERTIES TIMEOUT 300 LABELS native)
endfunction()

# A libFuzzer target; the test runs it for a bounded time over its seed corpus.
#   keypilot_fuzz_target(<name> SOURCES ... LIBS ... CORPUS <dir> [SECONDS n])
function(keypilot_fuzz_target name)
    cmake_parse_arguments(ARG "" "CORPUS;SECONDS" "SOURCES;LIBS" ${ARGN})
    if(NOT KEYPILOT_FUZZ)
        return()
    endif()
    if(NOT ARG_SECONDS)
        set(ARG_SECONDS 60)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
    add_test(NAME ${name}
        COMMAND ${CMAKE_COMMAND} -E env ${CMAKE_SOURCE_DIR}/scripts/run-fuzz.sh
                $<TARGET_FILE:${name}> ${ARG_CORPUS} ${work} ${ARG_SECONDS})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS fuzz)
endfunction()
