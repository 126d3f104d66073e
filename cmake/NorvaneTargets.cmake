# Compiler settings shared by every target of ours, and the helper that adds a
# test program.

add_library(norvane_options INTERFACE)
target_compile_options(norvane_options INTERFACE -Wall -Wextra)
target_include_directories(norvane_options INTERFACE ${PROJECT_SOURCE_DIR})

if(NORVANE_WINDOWS)
    # One self-contained .exe per program: no mingw runtime DLL next to it.
    target_link_options(norvane_options INTERFACE -static -static-libgcc -static-libstdc++)
    # Structured exceptions are turned into C++ exceptions at the faulting
    # instruction, which only unwinds correctly with non-call exceptions.
    target_compile_options(norvane_options INTERFACE -fnon-call-exceptions)
    target_compile_definitions(norvane_options INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
endif()

if(NORVANE_SANITIZE)
    target_compile_options(norvane_options INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all
                                                      -fno-omit-frame-pointer)
    target_link_options(norvane_options INTERFACE -fsanitize=address,undefined)
endif()

set(NORVANE_TEST_RESULTS ${CMAKE_BINARY_DIR}/test-results)

# norvane_add_test(NAME SOURCES... LIBS ...)
# One GoogleTest program per subsystem; CTest starts it once (under Wine in
# the Windows tree) and the program runs all its cases, writing an XML report
# that the test command sums up.
function(norvane_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} norvane_gtest_main norvane_options)
    set(report ${NORVANE_TEST_RESULTS}/${name}.xml)
    if(NORVANE_WINDOWS)
        set(report "Z:${report}") # Wine shows the Unix root as drive Z:
    endif()
    add_test(NAME ${name} COMMAND ${name} --gtest_output=xml:${report})
    set(env "NORVANE_SOURCE_DIR=${PROJECT_SOURCE_DIR}" "NORVANE_BINARY_DIR=${CMAKE_BINARY_DIR}")
    if(NORVANE_SANITIZE)
        # Tests ask for impossible blocks on purpose: they must fail, not abort.
        list(APPEND env "ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1")
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}")
endfunction()

# norvane_add_fuzzer(name SOURCES ... LIBS ...): a libFuzzer program, built
# only when NORVANE_FUZZ is on (the sanitizer tree).
function(norvane_add_fuzzer name)
    cmake_parse_arguments(FUZZ "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${FUZZ_SOURCES})
    target_link_libraries(${name} PRIVATE ${FUZZ_LIBS} norvane_options)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()
