enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)

# sorvanta_add_test(<name> SOURCES ... LIBS ...)
# One GoogleTest executable; its cases are listed to CTest at test time, and
# windows open on the offscreen platform.
function(sorvanta_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} sorv_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 60)
  # Tests find their fixtures and the built binaries through these.
  target_compile_definitions(${name} PRIVATE
    SORVANTA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    SORVANTA_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
endfunction()

# The sanitizer build also checks float-to-integer conversions that overflow
# (not part of -fsanitize=undefined with every compiler).
if(SORVANTA_SANITIZE)
  add_compile_options(-fsanitize=float-cast-overflow)
  add_link_options(-fsanitize=float-cast-overflow)
endif()
