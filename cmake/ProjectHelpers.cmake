# One static library per folder: every .cpp of the folder (not of its subfolders).
function(project_library name)
  cmake_parse_arguments(ARG "" "DIR" "DEPS" ${ARGN})
  if(NOT ARG_DIR)
    set(ARG_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# One GoogleTest executable per library: every .cpp of tests/<dir>.
# A folder with its own main.cpp (module initialisation) links gtest, others gtest_main.
function(project_tests name)
  cmake_parse_arguments(ARG "" "DIR" "DEPS;PROPERTIES" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${ARG_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    CORPORA_DIR="${CORPORA_DIR}" TEST_BUILD_DIR="${CMAKE_BINARY_DIR}")
  if(EXISTS ${CMAKE_SOURCE_DIR}/tests/${ARG_DIR}/main.cpp)
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock)
  else()
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest_main GTest::gmock)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300 ${ARG_PROPERTIES})
endfunction()
