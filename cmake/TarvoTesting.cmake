include(GoogleTest)

# tarvo_add_gtest(<name> SOURCES ... LIBS ... [LABELS ...])
# One GoogleTest executable per folder; tests are discovered when ctest runs, so a
# sanitizer build does not run them while building.
function(tarvo_add_gtest name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    target_compile_definitions(${name} PRIVATE
        TARVO_DATA_DIR="${TARVO_DATA_DIR}"
        TARVO_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        TARVO_BINARY_DIR="${PROJECT_BINARY_DIR}")
    set(_props ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    if(T_LABELS)
        list(APPEND _props LABELS "${T_LABELS}")
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
        PROPERTIES ${_props})
endfunction()

# A library target for one source folder: every .cpp in it, or an interface target while
# the folder has none yet.
function(tarvo_folder_library name)
    file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(_src)
        add_library(${name} STATIC ${_src})
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    endif()
endfunction()
