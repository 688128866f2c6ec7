# bw_library(NAME SOURCES... [LINK libs...]): a plain C++ library of one folder.
function(bw_library name)
    cmake_parse_arguments(A "" "" "SOURCES;LINK" ${ARGN})
    add_library(${name} STATIC ${A_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC Threads::Threads ${A_LINK})
    bw_register_core(${name})
endfunction()

# bw_ui_library(NAME SOURCES... [LINK libs...]): a library of Qt windows; built only with UI.
function(bw_ui_library name)
    cmake_parse_arguments(A "" "" "SOURCES;LINK" ${ARGN})
    if(NOT BW_WITH_UI)
        return()
    endif()
    add_library(${name} STATIC ${A_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC Qt6::Widgets ${A_LINK})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
endfunction()

# bw_test(NAME SOURCES... [LINK libs...] [UI] [TSAN] [CLI]): a GoogleTest executable registered with CTest.
# UI tests run on Qt's offscreen platform.
# TSAN marks the tests that also run in the ThreadSanitizer build (the only ones built there).
# CLI tests run build/brindlewave-cli, whose path they get as BW_CLI.
function(bw_test name)
    cmake_parse_arguments(A "UI;TSAN;CLI;SERIAL" "" "SOURCES;LINK" ${ARGN})
    if(A_UI AND NOT BW_WITH_UI)
        return()
    endif()
    if(BW_SANITIZE STREQUAL "thread" AND NOT A_TSAN)
        return()
    endif()
    add_executable(${name} ${A_SOURCES})
    set_property(GLOBAL APPEND PROPERTY BW_TEST_TARGETS ${name})
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main GTest::gmock ${A_LINK})
    if(A_CLI)
        target_compile_definitions(${name} PRIVATE BW_CLI="$<TARGET_FILE:brindlewave-cli>")
        add_dependencies(${name} brindlewave-cli)
    endif()
    if(A_UI)
        target_link_libraries(${name} PRIVATE Qt6::Test)
        set_target_properties(${name} PROPERTIES AUTOMOC ON)
    endif()
    target_compile_definitions(${name} PRIVATE
        BW_SOURCE_DIR="${CMAKE_SOURCE_DIR}" BW_BINARY_DIR="${CMAKE_BINARY_DIR}")
    # No test may reach the real AccurateRip or CUETools database: a closed local port unless a test
    # names its own server.
    set(env "BW_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp;BRINDLEWAVE_ACCURATERIP_SERVER=127.0.0.1:1;BRINDLEWAVE_CTDB_SERVER=http://127.0.0.1:1")
    if(A_UI)
        set(env "QT_QPA_PLATFORM=offscreen;${env}")
    endif()
    set(props ENVIRONMENT "${env}")
    # Tests that time the work against an estimate run alone, not beside another test.
    if(A_SERIAL)
        list(APPEND props RUN_SERIAL TRUE)
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# Every plain library registers itself so that fuzz targets and tools can link the whole core.
function(bw_register_core name)
    set_property(GLOBAL APPEND PROPERTY BW_CORE_LIBS ${name})
endfunction()
