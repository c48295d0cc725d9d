# Shared build rules: every library and test target goes through these so the
# warning set, sanitizers and include root stay the same everywhere.

set(FLUVIO_ROOT ${CMAKE_CURRENT_SOURCE_DIR})

add_library(fluvio_options INTERFACE)
target_compile_options(fluvio_options INTERFACE -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
# Every program runs threads; spelt out for all, the toolkit libraries' flags
# (which ask for it) agree with the rest and share their precompiled header.
target_compile_options(fluvio_options INTERFACE -pthread)
target_include_directories(fluvio_options INTERFACE ${FLUVIO_ROOT})
# asio decides per translation unit whether to use aligned_alloc, depending on
# which headers came first; fix one choice so allocation and release agree.
target_compile_definitions(fluvio_options INTERFACE ASIO_NO_DEPRECATED ASIO_DISABLE_STD_ALIGNED_ALLOC)
# Each message on a media path takes a few coroutine frames and queued steps,
# which asio keeps in a per-thread cache of small blocks; two of each kind
# (its default) left most of them to the heap. Sixteen hold a message's worth
# with room for a burst, and bound what a thread keeps.
target_compile_definitions(fluvio_options INTERFACE ASIO_RECYCLING_ALLOCATOR_CACHE_SIZE=16)
if(FLUVIO_SANITIZE)
  if(FLUVIO_SANITIZE MATCHES "address")
    # A recycled frame is never released, so a use after its end would go unseen.
    target_compile_definitions(fluvio_options INTERFACE ASIO_DISABLE_AWAITABLE_FRAME_RECYCLING)
  endif()
  target_compile_options(fluvio_options INTERFACE -fsanitize=${FLUVIO_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(fluvio_options INTERFACE -fsanitize=${FLUVIO_SANITIZE})
  if(FLUVIO_SANITIZE MATCHES "thread" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # asio's fenced blocks: ThreadSanitizer does not model fences, g++ says so per use.
    target_compile_options(fluvio_options INTERFACE -Wno-tsan)
  endif()
endif()

if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # Full debug info, without tracking each variable's location through the
  # optimiser: a fifth of the compile time, and a crash still shows its
  # frames, lines and arguments.
  target_compile_options(fluvio_options INTERFACE -fno-var-tracking-assignments)
endif()

# fluvio_debug_optimised(TARGET): test code whose speed no test depends on.
# -Og leaves the use-before-set analysis too little to go on; its warnings
# there are false (the libraries keep them at full optimisation).
function(fluvio_debug_optimised target)
  target_compile_options(${target} PRIVATE -Og -Wno-maybe-uninitialized)
endfunction()

# The outside headers nearly every source parses (the standard library, asio,
# GoogleTest for the test programs), compiled once per tree: one for the
# libraries and one for the test programs, each shared by every target
# compiled with its flags. A target with flags of its own keeps none (a header
# made with other optimisation flags can crash the compiler), and the trees
# built without them compile each source on its own includes.
option(FLUVIO_PRECOMPILE_HEADERS "Precompile the outside headers most sources include" ON)
if(FLUVIO_PRECOMPILE_HEADERS)
  # A header that cannot be used (flags differ) is parsed as text: say so.
  target_compile_options(fluvio_options INTERFACE -Winvalid-pch)
  # Each owner needs a source of its own to compile.
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/fluvio_precompiled.cpp CONTENT "")
  add_library(fluvio_precompiled OBJECT ${CMAKE_BINARY_DIR}/fluvio_precompiled.cpp)
  target_link_libraries(fluvio_precompiled PRIVATE fluvio_options)
  target_precompile_headers(fluvio_precompiled PRIVATE ${FLUVIO_ROOT}/cmake/Precompiled.hpp)

  add_library(fluvio_precompiled_tests OBJECT ${CMAKE_BINARY_DIR}/fluvio_precompiled.cpp)
  target_link_libraries(fluvio_precompiled_tests PRIVATE fluvio_options GTest::gtest GTest::gmock)
  target_precompile_headers(fluvio_precompiled_tests PRIVATE ${FLUVIO_ROOT}/cmake/PrecompiledTests.hpp)
  # Compiled as the test programs are: position independent executables, for debugging.
  set_target_properties(fluvio_precompiled_tests PROPERTIES POSITION_INDEPENDENT_CODE OFF)
  target_compile_options(fluvio_precompiled_tests PRIVATE ${CMAKE_CXX_COMPILE_OPTIONS_PIE})
  fluvio_debug_optimised(fluvio_precompiled_tests)
endif()

# fluvio_precompiled(TARGET LIBRARY|TESTS): TARGET uses the libraries' or the
# test programs' precompiled header.
function(fluvio_precompiled target kind)
  if(NOT FLUVIO_PRECOMPILE_HEADERS)
    return()
  endif()
  if(kind STREQUAL "TESTS")
    target_precompile_headers(${target} REUSE_FROM fluvio_precompiled_tests)
  else()
    target_precompile_headers(${target} REUSE_FROM fluvio_precompiled)
  endif()
endfunction()

# fluvio_library(NAME DIR <dir> [OPTIMISE <flag>] [DEPS ...]): a static
# library of every source below <dir> except its test folders (Tests, and
# programs of their own such as AllocationTests) and its toolkit (Gtk)
# folders, which build libraries of their own. OPTIMISE raises the
# optimisation for code written to vectorise.
function(fluvio_library name)
  cmake_parse_arguments(ARG "" "DIR;OPTIMISE" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/([A-Za-z]*Tests|Gtk)/")
  if(NOT sources)
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_link_libraries(${name} PUBLIC fluvio_options ${ARG_DEPS})
  if(ARG_OPTIMISE)
    # Its own flags: a precompiled header serves only the flags it was made with.
    target_compile_options(${name} PRIVATE ${ARG_OPTIMISE})
  else()
    fluvio_precompiled(${name} LIBRARY)
  endif()
endfunction()

# fluvio_tests(NAME DIR <dir> LABEL <unit|peer|gui> [SERIAL] [OPTIMISED]
# [DEPS ...]): one GoogleTest program of every source below <dir>, its cases
# registered with CTest; SERIAL cases run with no other test beside them
# (real-time media that must not lose frames to a busy machine). Test code is
# compiled for debugging (-Og), which halves its compile time; SERIAL and
# OPTIMISED programs (they count allocations or keep real time) are compiled as
# the libraries are. Unit programs are listed for the unit-tests target.
function(fluvio_tests name)
  cmake_parse_arguments(ARG "SERIAL;OPTIMISED" "DIR;LABEL" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  set(shutdown ${FLUVIO_ROOT}/Platform/Concurrency/Tests/Support/ExecutorShutdown.cpp)
  list(REMOVE_ITEM sources ${shutdown})
  add_executable(${name} ${sources} ${shutdown})
  target_link_libraries(${name} PRIVATE fluvio_options ${ARG_DEPS} platform_concurrency GTest::gtest GTest::gmock
    GTest::gtest_main)
  if(NOT ARG_SERIAL AND NOT ARG_OPTIMISED)
    fluvio_debug_optimised(${name})
    fluvio_precompiled(${name} TESTS)
  endif()
  if(ARG_LABEL STREQUAL "unit")
    set_property(GLOBAL APPEND PROPERTY FLUVIO_UNIT_TEST_PROGRAMS ${name})
  endif()
  include(GoogleTest)
  set(serial FALSE)
  if(ARG_SERIAL)
    set(serial TRUE)
  endif()
  gtest_discover_tests(${name} PROPERTIES LABELS ${ARG_LABEL} RUN_SERIAL ${serial} DISCOVERY_TIMEOUT 60)
endfunction()

# unit-tests: every program with unit tests, the whole of what the sanitizer
# tree runs. Called once every directory has added its programs.
function(fluvio_unit_tests_target)
  get_property(programs GLOBAL PROPERTY FLUVIO_UNIT_TEST_PROGRAMS)
  add_custom_target(unit-tests)
  add_dependencies(unit-tests ${programs})
endfunction()
