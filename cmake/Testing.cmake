# Test helpers shared by every subsystem's tests.
#   project_add_test(NAME name SOURCES a.cpp ... [LIBS lib ...] [LABELS group ...]
#                    [PROPERTIES prop value ...])
# builds a GoogleTest executable and registers its cases with CTest. In the Windows build the
# executable runs under Wine (CMAKE_CROSSCOMPILING_EMULATOR); the cases are listed at test time.
include(GoogleTest)

set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest sources, built with the cross compiler when cross-compiling")
if(URAR_FUZZ)
  # The fuzz configuration builds no tests.
elseif(CMAKE_CROSSCOMPILING AND EXISTS ${GTEST_SOURCE_DIR}/CMakeLists.txt)
  # Debian ships GoogleTest's sources; build them with the cross compiler.
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(PROJECT_GTEST_LIBS GTest::gtest_main GTest::gmock)
else()
  # An installed GoogleTest: Debian's packages natively, or one GTest_DIR points at on Windows.
  find_package(GTest REQUIRED)
  find_package(Threads REQUIRED)
  set(PROJECT_GTEST_LIBS GTest::gtest_main GTest::gmock Threads::Threads)
endif()

# Paths compiled into tests: a cross-built test runs under Wine, where the Unix root is drive Z:.
set(PROJECT_TEST_PATH_PREFIX "")
if(CMAKE_CROSSCOMPILING)
  set(PROJECT_TEST_PATH_PREFIX "Z:")
endif()

function(project_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;PROPERTIES" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} ${PROJECT_GTEST_LIBS})
  # Paths the tests open; under Wine the Unix root is drive Z:.
  target_compile_definitions(${T_NAME} PRIVATE
    PROJECT_SOURCE_DIR="${PROJECT_TEST_PATH_PREFIX}${PROJECT_SOURCE_DIR}"
    PROJECT_BINARY_DIR="${PROJECT_TEST_PATH_PREFIX}${PROJECT_BINARY_DIR}")
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT} ${T_PROPERTIES})
endfunction()
