# Shared build settings for every target of ours.

add_library(veltra_warnings INTERFACE)
target_compile_options(veltra_warnings INTERFACE -Wall -Wextra -Werror
                       $<$<COMPILE_LANGUAGE:CXX>:-Wno-missing-field-initializers>)
# GCC 12 at -O3 reports reads and overlaps inside the standard library's own
# inlined string and vector code that cannot happen (known false positives of
# that release); they stay visible as warnings but do not fail a Release build.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(veltra_warnings INTERFACE
                         $<$<COMPILE_LANGUAGE:CXX>:-Wno-error=restrict -Wno-error=stringop-overread
                         -Wno-error=stringop-overflow>)
endif()
target_include_directories(veltra_warnings INTERFACE ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR})

if(VELTRA_SANITIZE STREQUAL "thread")
  target_compile_options(veltra_warnings INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(veltra_warnings INTERFACE -fsanitize=thread)
elseif(VELTRA_SANITIZE)
  target_compile_options(veltra_warnings INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                         -fno-sanitize-recover=undefined)
  target_link_options(veltra_warnings INTERFACE -fsanitize=address,undefined)
endif()

# veltra_target(NAME) applies our warnings, include paths and sanitizer flags.
function(veltra_target name)
  target_link_libraries(${name} PRIVATE veltra_warnings)
endfunction()

# A shared library whose file name is exactly NAME.so (no "lib" prefix), as the
# system loads it by name: Orvcore.so, Prefbook.so, Plexa_301.so ...
function(veltra_module name)
  add_library(${name} SHARED ${ARGN})
  set_target_properties(${name} PROPERTIES PREFIX "")
  veltra_target(${name})
endfunction()

# veltra_test(NAME SOURCES ... [LIBS ...] [DEPENDS ...] [TIMEOUT S] [OFFSCREEN]):
# a GoogleTest program run by ctest from bin/; OFFSCREEN runs it on Qt's
# off-screen platform, for tests that make windows.
function(veltra_test name)
  cmake_parse_arguments(T "OFFSCREEN" "TIMEOUT" "SOURCES;LIBS;DEPENDS" ${ARGN})
  if(NOT VELTRA_BUILD_TESTS)
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  veltra_target(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main pthread)
  if(T_DEPENDS)
    add_dependencies(${name} ${T_DEPENDS})
  endif()
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  set(environment "VELTRA_TEST_BIN=${CMAKE_BINARY_DIR}/bin")
  if(T_OFFSCREEN)
    list(APPEND environment "QT_QPA_PLATFORM=offscreen")
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${environment}")
endfunction()

# veltra_qt_target(NAME) for targets that show windows: Qt 6 Widgets, moc run
# on the target's own headers, and Qt's keyword macros off (signals/slots/emit
# are spelled Q_SIGNALS/Q_SLOTS/Q_EMIT).
function(veltra_qt_target name)
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_compile_definitions(${name} PRIVATE QT_NO_KEYWORDS)
  target_link_libraries(${name} PRIVATE Qt6::Widgets)
endfunction()

# Where `cmake --install` puts what we build; each folder names its own deliverables.
include(${CMAKE_CURRENT_LIST_DIR}/VeltraInstall.cmake)
