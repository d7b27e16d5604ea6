# Every target links quillmere_options: one place for the language level,
# warnings and sanitizers.
add_library(quillmere_options INTERFACE)
target_compile_features(quillmere_options INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_options(quillmere_options INTERFACE
  -Wall -Wextra -Wpedantic -Werror -Wno-error=deprecated-declarations)

set(QUILLMERE_SANITIZE "" CACHE STRING
  "Sanitizers to build with: empty, 'address,undefined' or 'thread'")
if(QUILLMERE_SANITIZE)
  target_compile_options(quillmere_options INTERFACE
    -fsanitize=${QUILLMERE_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(quillmere_options INTERFACE -fsanitize=${QUILLMERE_SANITIZE})
endif()

# Qt must never turn bytes into QString behind our back: every code-page-936
# conversion happens explicitly in the adapter.
set(QUILLMERE_QT_DEFINITIONS QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII
  QT_NO_CAST_FROM_BYTEARRAY QT_NO_URL_CAST_FROM_STRING)

# quillmere_add_core_library(name SOURCES... [DEPS ...])
function(quillmere_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC quillmere_options ${ARG_DEPS})
endfunction()

# quillmere_label_tests(target labels)
# Labels every test that gtest_discover_tests finds in `target`. The
# discovery's PROPERTIES flatten a list of labels into separate arguments
# (a second label would be taken for a property name), so the labels are set
# afterwards, from a file ctest includes after the discovered tests.
function(quillmere_label_tests target labels)
  if(NOT labels)
    return()
  endif()
  set(labels_file "${CMAKE_CURRENT_BINARY_DIR}/${target}_labels.cmake")
  file(WRITE "${labels_file}"
    "if(${target}_TESTS)\n  set_tests_properties(\${${target}_TESTS} PROPERTIES LABELS \"${labels}\")\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${labels_file}")
endfunction()

# quillmere_add_test(name SOURCES... DEPS ... [LABELS ...])
# One GoogleTest executable; each test case becomes one ctest entry.
function(quillmere_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE quillmere_options GTest::gtest GTest::gtest_main ${ARG_DEPS})
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  quillmere_label_tests(${name} "${ARG_LABELS}")
endfunction()
