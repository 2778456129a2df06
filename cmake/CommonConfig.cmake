# One interface target that every ORVA target links: language level and warnings.
add_library(orva_common INTERFACE)
target_compile_features(orva_common INTERFACE cxx_std_20)
target_compile_options(orva_common INTERFACE
  -Wall -Wextra -Wpedantic -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual)
target_include_directories(orva_common INTERFACE ${PROJECT_SOURCE_DIR})
target_compile_definitions(orva_common INTERFACE QT_NO_KEYWORDS)

if(ORVA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Registers one GoogleTest executable per unit: orva_add_test(<name> SOURCES ... LIBS ...)
function(orva_add_test name)
  cmake_parse_arguments(ARG "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/test_environment.cpp)
  target_compile_definitions(${name} PRIVATE
    ORVA_TEST_BUILD_DIR="${CMAKE_BINARY_DIR}" ORVA_TEST_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  target_link_libraries(${name} PRIVATE orva_common ${ARG_LIBS} GTest::gtest GTest::gmock)
  if(NOT ARG_GUI)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
