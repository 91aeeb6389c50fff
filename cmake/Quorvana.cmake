# Adds every direct sub-folder of DIR that has a CMakeLists.txt.
function(quorvana_add_module_dirs dir)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}/${dir} ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*)
  list(SORT children)
  foreach(child ${children})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/${child}/CMakeLists.txt)
      add_subdirectory(${dir}/${child})
    endif()
  endforeach()
endfunction()

# quorvana_library(NAME [DEPS lib...]): a static library of the .cpp/.h files of
# the calling folder (not its sub-folders that have a CMakeLists.txt of their own).
function(quorvana_library name)
  cmake_parse_arguments(Q "" "" "DEPS;SOURCES" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  list(FILTER srcs INCLUDE REGEX "\\.cpp$|\\.h$|\\.qrc$")
  # form1_*.cpp hold the main window's handler bodies; they build with the main window.
  list(FILTER srcs EXCLUDE REGEX "/form1_[^/]*\\.cpp$")
  set(cpp ${srcs} ${Q_SOURCES})
  list(FILTER cpp INCLUDE REGEX "\\.cpp$")
  if(NOT cpp)
    # A module whose code has not landed yet: nothing to build, nothing to break.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${Q_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${srcs} ${Q_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -Wall -Wextra)
  target_link_libraries(${name} PUBLIC ${Q_DEPS})
endfunction()

# quorvana_test(NAME SOURCES... DEPS lib...): one test executable with the shared
# test main, run headless with its own temporary home for settings and stores.
function(quorvana_test name)
  cmake_parse_arguments(Q "" "TIMEOUT" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${Q_SOURCES})
  target_link_libraries(${name} PRIVATE quorvana_test_support ${Q_DEPS})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT Q_TIMEOUT)
    set(Q_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${Q_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;SDL_AUDIODRIVER=dummy")
endfunction()

# quorvana_bench(NAME SOURCES... DEPS lib...): one Google Benchmark executable.
function(quorvana_bench name)
  cmake_parse_arguments(Q "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${Q_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE benchmark::benchmark ${Q_DEPS})
endfunction()
