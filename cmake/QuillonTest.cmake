# quillon_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [INTERNALS target ...] [LABELS label]
#              [LAUNCHER command args] [ON_SERVERS])
# One GoogleTest executable whose cases are discovered by ctest, each run through LAUNCHER when
# given (dbus-run-session, for a private session bus). It sees the public headers of LIBS, the
# shared test helpers (tests/**/*.h) and the internal headers of each INTERNALS target: a unit
# test may reach inside the unit it tests, and says so. Every test runs on the virtual sound card
# with a private per-user configuration folder, so a developer's own registry or sound card never
# leaks into a result. ON_SERVERS: device tests that run on both sound servers
# (tests/support/sound_servers.h names each case after its server).
function(quillon_test name)
    cmake_parse_arguments(T "ON_SERVERS" "" "SOURCES;LIBS;INTERNALS;LABELS;LAUNCHER" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    if(T_LAUNCHER)
        set_target_properties(${name} PROPERTIES QUILLON_TEST_LAUNCHER "${T_LAUNCHER}")
    endif()
    target_link_libraries(${name} PRIVATE ${T_LIBS} quillon_test_support GTest::gtest_main
                                          GTest::gmock quillon_warnings)
    quillon_sees_internals(${name} ${T_INTERNALS})
    target_compile_definitions(${name} PRIVATE
        QUILLON_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data"
        QUILLON_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
        QUILLON_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    if(T_ON_SERVERS)
        quillon_discover_server_tests(${name})
    else()
        quillon_discover_tests(${name} ${T_LABELS})
    endif()
endfunction()

# Registers the cases of test program `name` with ctest under `labels` (default: unit).
function(quillon_discover_tests name)
    set(labels unit)
    if(ARGN)
        set(labels ${ARGN})
    endif()
    # Tests on real devices share one PulseAudio test server; they take turns with it.
    set(lock)
    if("device" IN_LIST labels)
        set(lock RESOURCE_LOCK pulse_test_server)
    endif()
    # The environment travels on the command line: gtest_discover_tests passes only the first
    # entry of a list-valued ENVIRONMENT on to the cases it finds.
    get_target_property(launcher ${name} QUILLON_TEST_LAUNCHER)
    if(NOT launcher)
        set(launcher)
    endif()
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
        "env;KELVANE_AUDIO=virtual;XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-home;${launcher}")
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES
            LABELS "${labels}"
            ${lock})
endfunction()


# Registers the cases of a test program that runs on both sound servers, label `device`: each
# server's cases take turns with that server's other users; the two servers' cases may run side
# by side. The environment travels on the command line, as for quillon_discover_tests.
function(quillon_discover_server_tests name)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
        "env;KELVANE_AUDIO=virtual;XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-home")
    set(servers PulseAudio PipeWire)
    set(locks pulse_test_server pipewire_test_server)
    foreach(server lock IN ZIP_LISTS servers locks)
        gtest_discover_tests(${name}
            TEST_FILTER "*/${server}"
            DISCOVERY_TIMEOUT 60
            PROPERTIES
                LABELS device
                RESOURCE_LOCK ${lock})
    endforeach()
endfunction()
