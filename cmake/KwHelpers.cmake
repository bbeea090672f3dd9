# Shared build settings: warnings, Qt string hygiene, sanitizers and helpers that
# register libraries, tests and fuzz targets the same way everywhere.

add_library(kw_build_settings INTERFACE)
target_compile_options(kw_build_settings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  -Werror=return-type -Werror)
target_compile_definitions(kw_build_settings INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_URL_CAST_FROM_STRING QT_NO_CAST_FROM_BYTEARRAY)

if(KW_SANITIZE OR KW_FUZZ)
  set(_kw_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_compile_options(kw_build_settings INTERFACE ${_kw_san})
  target_link_options(kw_build_settings INTERFACE ${_kw_san})
endif()

if(KW_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KW_FUZZ=ON needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  target_compile_options(kw_build_settings INTERFACE -fsanitize=fuzzer-no-link)
endif()

configure_file(${PROJECT_SOURCE_DIR}/cmake/kw_version.h.in
               ${PROJECT_BINARY_DIR}/generated/kw_version.h @ONLY)

# kw_add_library(name SOURCES ... DEPENDS ...): one library per src/ folder,
# include paths from src/.
function(kw_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src
                                            ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} PRIVATE kw_build_settings)
endfunction()

# kw_add_test(name SOURCES ... DEPENDS ... [MAIN core|gui|widgets]): a
# GoogleTest executable whose cases CTest discovers one by one. MAIN picks the
# Qt application object that lives for the whole run (default: core).
function(kw_add_test name)
  cmake_parse_arguments(ARG "" "MAIN" "SOURCES;DEPENDS" ${ARGN})
  if(NOT ARG_MAIN)
    set(ARG_MAIN core)
  endif()
  add_executable(${name} ${ARG_SOURCES} $<TARGET_OBJECTS:kw_test_main_${ARG_MAIN}>)
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} kw_testsupport GTest::gtest
                                        kw_build_settings)
  target_compile_definitions(${name} PRIVATE
    KW_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# kw_add_fuzzer(name SOURCE file DEPENDS ... CORPUS dir): with KW_FUZZ a
# libFuzzer binary; otherwise a replay binary that CTest runs over the corpus.
function(kw_add_fuzzer name)
  cmake_parse_arguments(ARG "" "SOURCE;CORPUS" "DEPENDS" ${ARGN})
  if(KW_FUZZ)
    add_executable(${name} ${ARG_SOURCE})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${name} ${ARG_SOURCE} ${PROJECT_SOURCE_DIR}/tests/fuzz/replay_main.cpp)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} kw_build_settings)
  if(NOT KW_FUZZ)
    add_test(NAME ${name}.replay COMMAND ${name} ${ARG_CORPUS})
  endif()
endfunction()
