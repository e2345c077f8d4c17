# dnc_layer(<name> <link deps...>)
# Builds src/<name>/*.cpp into the static library dnc_<name>.
# Headers are included from src/ as "<layer>/<file>.h". Files named
# *_main.cpp hold program entry points and are left to the layer's own
# add_executable().
function(dnc_layer name)
  file(GLOB _srcs CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(FILTER _srcs EXCLUDE REGEX "_main\\.cpp$")
  add_library(dnc_${name} STATIC ${_srcs})
  target_include_directories(dnc_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src
                                                ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(dnc_${name} PUBLIC ${ARGN})
  if(DNC_FUZZ)
    target_compile_options(dnc_${name} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
endfunction()

# dnc_test(<layer> [LABELS <labels...>] DEPS <link deps...>)
# Builds tests/<layer>/*.cpp into the GoogleTest executable test_<layer>
# and registers each test with CTest. Tests run with a QCoreApplication
# (see tests/support/test_main.cpp) so queued calls and timers work.
# LABELS replaces the default label (the layer name); the label
# "concurrency" marks suites that also run under ThreadSanitizer.
function(dnc_test layer)
  cmake_parse_arguments(T "" "" "LABELS;DEPS" ${ARGN})
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(test_${layer} ${_srcs})
  target_link_libraries(test_${layer} PRIVATE dnc_test_support ${T_DEPS} GTest::gtest GTest::gmock)
  # One label per suite: gtest_discover_tests splits a list value and would
  # drop it (and the properties after it).
  if(T_LABELS)
    set(_label ${T_LABELS})
  else()
    set(_label ${layer})
  endif()
  gtest_discover_tests(test_${layer}
    DISCOVERY_MODE PRE_TEST
    # One value per property: gtest_discover_tests splits a list value, so a
    # second variable in ENVIRONMENT would be lost.
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
               ENVIRONMENT_MODIFICATION "DNC_BUILD_DIR=set:${PROJECT_BINARY_DIR}"
               LABELS ${_label}
               TIMEOUT 300)
endfunction()

# dnc_fuzz(<name> <link deps...>)
# A libFuzzer target built from tests/fuzz/<name>.cpp (clang with DNC_FUZZ=ON).
function(dnc_fuzz name)
  add_executable(${name} ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp)
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARGN})
endfunction()
