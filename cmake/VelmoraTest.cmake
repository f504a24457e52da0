# velmora_add_test(tst_name SOURCES a.cpp ... LIBS lib ... [TIMEOUT seconds] [LABELS ...])
# One QtTest executable and one CTest entry. Each test gets its own HOME and
# XDG_CONFIG_HOME so that the real per-user store is never touched.
set(VELMORA_TEST_BIN_DIR ${CMAKE_BINARY_DIR}/tests/bin)

function(velmora_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_executable(${name} ${T_SOURCES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VELMORA_TEST_BIN_DIR}
                                             BUILD_RPATH "${VELMORA_BIN_DIR}")
    target_link_libraries(${name} PRIVATE Qt5::Test ${T_LIBS})
    target_compile_definitions(${name} PRIVATE VELMORA_BIN_DIR="${VELMORA_BIN_DIR}"
                                               VELMORA_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    # Tests that start a recorder (the emulator or the scripted one) carry the label "emulator",
    # so that docs/testing.md's flakiness runs find every one of them.
    foreach(source ${T_SOURCES})
        file(READ ${CMAKE_CURRENT_SOURCE_DIR}/${source} text)
        if(text MATCHES "KTestEmulator|KFakeRecorder")
            list(APPEND T_LABELS emulator)
            break()
        endif()
    endforeach()
    set(home ${CMAKE_BINARY_DIR}/tests/home/${name})
    file(MAKE_DIRECTORY ${home}/config)
    add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/cmake/run-with-xvfb.sh $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        LABELS "${T_LABELS}"
        # No session bus (nothing may be autolaunched by a test) and no GL (nothing draws with
        # it; the driver's allocations would show in the sanitized run).
        ENVIRONMENT "HOME=${home};XDG_CONFIG_HOME=${home}/config;QT_LOGGING_RULES=qt.qpa.*=false;DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent;QT_XCB_GL_INTEGRATION=none")
endfunction()
