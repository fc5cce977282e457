# quillon_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS label])
# One GoogleTest executable whose cases are discovered by ctest. Every test runs on the virtual
# sound card with a private per-user configuration folder, so a developer's own registry or sound
# card never leaks into a result.
function(quillon_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock
                                          quillon_warnings quillon_includes)
    target_compile_definitions(${name} PRIVATE
        QUILLON_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data"
        QUILLON_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
    set(labels unit)
    if(T_LABELS)
        set(labels ${T_LABELS})
    endif()
    # Tests on real devices share one PulseAudio test server; they take turns with it.
    set(lock)
    if("device" IN_LIST labels)
        set(lock RESOURCE_LOCK pulse_test_server)
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES
            LABELS "${labels}"
            ${lock}
            ENVIRONMENT "KELVANE_AUDIO=virtual;XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-home")
endfunction()
