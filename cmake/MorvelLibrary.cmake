# Each architecture folder is one static library built from the sources it holds.
# Globbing keeps the folders independent: adding a file needs no edit elsewhere.
function(morvel_library name)
    cmake_parse_arguments(ARG "" "" "DEPS;PUBLIC_DEPS" ${ARGN})
    file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(_sources)
        add_library(${name} STATIC ${_sources})
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
        target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_DEPS} PRIVATE ${ARG_DEPS})
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
        target_link_libraries(${name} INTERFACE ${ARG_PUBLIC_DEPS})
    endif()
endfunction()

# One GoogleTest executable per test folder, registered with ctest. DEPS names the library under
# test and the fixture builders of its layer; nothing above that layer links in.
function(morvel_test_folder name)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(NOT _sources)
        return()
    endif()
    add_executable(${name} ${_sources})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest_main)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "MORVEL_CORPUS=${MORVEL_CORPUS_DIR}")
endfunction()
