# Shared build rules: every library and test target goes through these so the
# warning set, sanitizers and include root stay the same everywhere.

set(FLUVIO_ROOT ${CMAKE_CURRENT_SOURCE_DIR})

add_library(fluvio_options INTERFACE)
target_compile_options(fluvio_options INTERFACE -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
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

# fluvio_library(NAME DIR <dir> [DEPS ...]): a static library of every source
# below <dir> except its test folders (Tests, and programs of their own such
# as AllocationTests) and its toolkit (Gtk) folders, which build libraries of
# their own.
function(fluvio_library name)
  cmake_parse_arguments(ARG "" "DIR" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/([A-Za-z]*Tests|Gtk)/")
  if(NOT sources)
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_link_libraries(${name} PUBLIC fluvio_options ${ARG_DEPS})
endfunction()

# fluvio_tests(NAME DIR <dir> LABEL <unit|peer|gui> [SERIAL] [DEPS ...]): one
# GoogleTest program of every source below <dir>, its cases registered with
# CTest; SERIAL cases run with no other test beside them (real-time media that
# must not lose frames to a busy machine).
function(fluvio_tests name)
  cmake_parse_arguments(ARG "SERIAL" "DIR;LABEL" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  set(shutdown ${FLUVIO_ROOT}/Platform/Concurrency/Tests/Support/ExecutorShutdown.cpp)
  list(REMOVE_ITEM sources ${shutdown})
  add_executable(${name} ${sources} ${shutdown})
  target_link_libraries(${name} PRIVATE fluvio_options ${ARG_DEPS} platform_concurrency GTest::gtest GTest::gmock
    GTest::gtest_main)
  include(GoogleTest)
  set(serial FALSE)
  if(ARG_SERIAL)
    set(serial TRUE)
  endif()
  gtest_discover_tests(${name} PROPERTIES LABELS ${ARG_LABEL} RUN_SERIAL ${serial} DISCOVERY_TIMEOUT 60)
endfunction()
