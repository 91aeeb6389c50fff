# The warnings every target of ours is built with; CI makes them errors.
set(QUORVANA_WARNINGS -Wall -Wextra)
if(QUORVANA_WERROR)
  list(APPEND QUORVANA_WARNINGS -Werror)
endif()

# quorvana_library(NAME SOURCES file... [DEPS lib...]): a static library of the
# calling folder's files as listed, with the project root as include root.
function(quorvana_library name)
  cmake_parse_arguments(Q "" "" "DEPS;SOURCES" ${ARGN})
  add_library(${name} STATIC ${Q_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${Q_DEPS})
endfunction()

# quorvana_test(NAME [CORE] SOURCES... DEPS lib... [LABELS label...] [TIMEOUT s]):
# one test executable with the shared test main, which runs it headless with
# its own temporary home for settings and stores; CORE: on Qt's core alone. Labels: "threads" for the tests
# that drive playback threads (run again under ThreadSanitizer), "realtime"
# for those that measure time and run alone.
function(quorvana_test name)
  cmake_parse_arguments(Q "CORE" "TIMEOUT" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${Q_SOURCES})
  if(Q_CORE)
    target_link_libraries(${name} PRIVATE quorvana_core_test_support ${Q_DEPS})
  else()
    target_link_libraries(${name} PRIVATE quorvana_test_support ${Q_DEPS})
  endif()
  add_test(NAME ${name} COMMAND ${name})
  if(NOT Q_TIMEOUT)
    set(Q_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${Q_TIMEOUT})
  if(Q_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${Q_LABELS}")
  endif()
  if("realtime" IN_LIST Q_LABELS)
    set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
  endif()
endfunction()

# quorvana_bench(NAME SOURCES... DEPS lib...): one Google Benchmark executable.
function(quorvana_bench name)
  cmake_parse_arguments(Q "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${Q_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE benchmark::benchmark ${Q_DEPS})
endfunction()
