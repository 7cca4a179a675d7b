# talvek_add_test(name SOURCES a.cpp b.cpp LIBS lib1 lib2 [TIMEOUT s])
# One Qt Test executable per call, run headless by ctest.
function(talvek_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE talvek_common Qt6::Test ${T_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TALVEK_SIM_BIN=${CMAKE_BINARY_DIR}/bin/k7700-sim;TALVEK_CLI_BIN=${CMAKE_BINARY_DIR}/bin/talvek-cli")
endfunction()
