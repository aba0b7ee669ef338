# GoogleTest: Debian's package natively, built from its sources for Windows.
if(WIN32)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # The Wine environment of one test run: display, prefix, server.
  set(KAVEL_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
  # 7-Zip for Windows, put there by scripts/install-deps.sh.
  set(KAVEL_7ZIP_DIR /opt/kavel-setup/7zip CACHE PATH "7-Zip for Windows (7z.exe, 7z.dll)")
else()
  find_package(GTest REQUIRED)
endif()

# Registers a test; under Windows it runs through Wine inside the test run's
# environment, which the fixture "wine" sets up and tears down, in the
# Chinese locale unless LOCALE names another.
function(kavel_register_test name)
  cmake_parse_arguments(T "" "TIMEOUT;LOCALE" "COMMAND;FIXTURES" ${ARGN})
  if(NOT T_COMMAND)
    set(T_COMMAND ${name})
  endif()
  add_test(NAME ${name} COMMAND ${T_COMMAND})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(WIN32)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "wine;${T_FIXTURES}"
      ENVIRONMENT "KAVEL_WINE_DIR=${KAVEL_WINE_DIR};KAVEL_BUILD_DIR=${CMAKE_BINARY_DIR};KAVEL_SOURCE_DIR=${PROJECT_SOURCE_DIR};KAVEL_WINE_LOCALE=${T_LOCALE}")
  endif()
endfunction()

# A unit test of the portable core: one GoogleTest binary, both builds.
function(kavel_unit_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE kavel_core GTest::gtest_main)
  kavel_register_test(${name})
endfunction()
