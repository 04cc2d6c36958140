# Test registration: each test program is one ctest entry. Starting a program
# under wine costs over a second, so one entry per binary, not per case.
if(YAWP_BUILD_TESTS)
  enable_testing()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()

# yawp_add_gtest(NAME name SOURCES a.cpp ... LIBS lib ... [DEFINITIONS d ...])
function(yawp_add_gtest)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;DEFINITIONS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  yawp_project_target(${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main)
  target_compile_definitions(${T_NAME} PRIVATE ${T_DEFINITIONS})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_brief=1)
endfunction()
