# Helpers shared by every folder.

# A globbed source list that changed since the last configure leaves AUTOMOC's
# stamp in place with Ninja, so a new "x.moc" include is never generated:
# drop the stamp whenever the list changes.
function(velmar_refresh_autogen target files)
  set(listfile ${CMAKE_CURRENT_BINARY_DIR}/${target}_sources.list)
  string(JOIN "\n" now ${files})
  set(before "")
  if(EXISTS ${listfile})
    file(READ ${listfile} before)
  endif()
  if(NOT before STREQUAL now)
    file(REMOVE ${CMAKE_CURRENT_BINARY_DIR}/${target}_autogen/timestamp)
    file(WRITE ${listfile} "${now}")
  endif()
endfunction()

# Sets out to true when one of the libraries is Qt's widgets or one of ours
# built on them.
function(velmar_uses_widgets out)
  set(result OFF)
  foreach(lib IN LISTS ARGN)
    get_property(ours GLOBAL PROPERTY VELMAR_WIDGETS_${lib})
    if(lib STREQUAL "Qt6::Widgets" OR ours)
      set(result ON)
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# Qt's module headers parsed once instead of once per source: most of the
# build's time went into reading them. They run to hundreds of megabytes
# each, so one is made per set of modules, by a target of its own that links
# just those modules, and every other target reuses it: the compilers accept
# it as long as the definitions the headers look at are the same (GCC says
# with -Winvalid-pch when it cannot use one; clang fails). Every source then
# sees Qt's keywords as macros ("slots", "signals", "emit"): none may use
# them as names.
function(velmar_precompile target)
  if(NOT VELMAR_PRECOMPILE OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    return()
  endif()
  string(JOIN "_" key ${ARGN})
  # The fuzzers' coverage is part of what a header is compiled with.
  get_target_property(options ${target} COMPILE_OPTIONS)
  set(extra)
  if("-fsanitize=fuzzer-no-link" IN_LIST options)
    set(extra -fsanitize=fuzzer-no-link)
    string(APPEND key "_fuzz")
  endif()
  set(owner velmar_pch_${key})
  if(NOT TARGET ${owner})
    set(empty ${CMAKE_BINARY_DIR}/pch/${key}.cpp)
    if(NOT EXISTS ${empty})
      file(WRITE ${empty} "// Builds the shared precompiled header only.\n")
    endif()
    add_library(${owner} STATIC ${empty})
    set(headers)
    foreach(module IN LISTS ARGN)
      list(APPEND headers "$<$<COMPILE_LANGUAGE:CXX>:<${module}>>")
      string(REGEX REPLACE "^Qt" "Qt6::" lib ${module})
      target_link_libraries(${owner} PRIVATE ${lib})
    endforeach()
    if("QtTest" IN_LIST ARGN)
      velmar_test_compile_options(${owner} PRIVATE)
    endif()
    target_compile_options(${owner} PRIVATE ${extra})
    target_precompile_headers(${owner} PRIVATE ${headers})
  endif()
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Winvalid-pch)
  endif()
  target_precompile_headers(${target} REUSE_FROM ${owner})
endfunction()

# Qt's test module gives every test the folder it is built in as a
# definition, which differs between tests and would keep them from sharing a
# precompiled header; no test looks its data up through it.
function(velmar_test_compile_options target scope)
  target_compile_options(${target} ${scope} -UQT_TESTCASE_BUILDDIR -UQT_TESTCASE_SOURCEDIR)
endfunction()

# velmar_library(<target> [DEPS lib...])
# A static library from every source in the calling folder.
function(velmar_library target)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.c
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/*.h
    ${CMAKE_CURRENT_SOURCE_DIR}/*.ui
    ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  set(compiled ${sources})
  list(FILTER compiled INCLUDE REGEX "\\.(c|cpp)$")
  if(compiled)
    velmar_refresh_autogen(${target} "${sources}")
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
    if(VELMAR_FUZZ AND target IN_LIST VELMAR_FUZZED_LIBRARIES)
      # Coverage for the fuzzers, in the libraries they exercise; the tests
      # themselves need none.
      target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
    endif()
    velmar_uses_widgets(widgets ${ARG_DEPS})
    if(widgets)
      set_property(GLOBAL PROPERTY VELMAR_WIDGETS_${target} ON)
      velmar_precompile(${target} QtWidgets)
    elseif("Qt6::Core" IN_LIST ARG_DEPS OR "Qt6::Gui" IN_LIST ARG_DEPS)
      velmar_precompile(${target} QtCore)
    endif()
  else()
    # Folder without code yet: dependants still link.
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${ARG_DEPS})
    velmar_uses_widgets(widgets ${ARG_DEPS})
    if(widgets)
      set_property(GLOBAL PROPERTY VELMAR_WIDGETS_${target} ON)
    endif()
  endif()
endfunction()

# velmar_test(<name> LIBS lib... [TIMEOUT s] [COST s])
# One Qt Test executable from every tests/<folder>/*.cpp except fuzz_*.cpp,
# registered with ctest; each fuzz_*.cpp becomes a libFuzzer target run over
# its corpus folder corpus/<fuzz name>/ when VELMAR_FUZZ is on.
function(velmar_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT;COST" "LIBS" ${ARGN})
  file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  set(tests)
  set(fuzzers)
  foreach(f IN LISTS all)
    get_filename_component(base ${f} NAME)
    if(base MATCHES "^fuzz_.*\\.cpp$")
      list(APPEND fuzzers ${f})
    else()
      list(APPEND tests ${f})
    endif()
  endforeach()
  if(tests)
    set(exe tst_${name})
    velmar_refresh_autogen(${exe} "${tests}")
    add_executable(${exe} ${tests})
    target_link_libraries(${exe} PRIVATE velmar_testutil ${ARG_LIBS})
    velmar_precompile(${exe} QtWidgets QtTest QtNetwork)
    target_compile_definitions(${exe} PRIVATE
      VELMAR_TEST_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}")
    add_test(NAME ${name} COMMAND ${exe})
    set_property(GLOBAL APPEND PROPERTY VELMAR_CHECK_TARGETS ${exe})
    velmar_test_environment(${name})
    if(ARG_TIMEOUT)
      set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
    endif()
    # About the seconds it takes on two cores: ctest starts the longest
    # first, so that none of them starts last.
    if(ARG_COST)
      set_tests_properties(${name} PROPERTIES COST ${ARG_COST})
    endif()
  endif()
  if(VELMAR_FUZZ)
    foreach(f IN LISTS fuzzers)
      get_filename_component(fz ${f} NAME_WE)
      add_executable(${fz} ${f})
      set_property(GLOBAL APPEND PROPERTY VELMAR_CHECK_TARGETS ${fz})
      target_compile_options(${fz} PRIVATE -fsanitize=fuzzer-no-link)
      target_link_options(${fz} PRIVATE -fsanitize=fuzzer)
      target_link_libraries(${fz} PRIVATE ${ARG_LIBS})
      set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${fz})
      set(work ${CMAKE_CURRENT_BINARY_DIR}/${fz}_corpus)
      # Saved corpus first, then a short bounded search for new inputs. The
      # per-input limit leaves room for a loaded machine under the sanitizers.
      add_test(NAME ${fz}
        COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
          $<TARGET_FILE:${fz}> -max_total_time=3 -timeout=25 -rss_limit_mb=1024
          -seed=1 ${work} ${corpus})
      set_tests_properties(${fz} PROPERTIES FIXTURES_REQUIRED ${fz}_dir LABELS fuzz)
      add_test(NAME ${fz}_dir COMMAND ${CMAKE_COMMAND} -E make_directory ${work} ${corpus})
      set_tests_properties(${fz}_dir PROPERTIES FIXTURES_SETUP ${fz}_dir)
    endforeach()
  endif()
endfunction()

# Every test runs offscreen with its own HOME and XDG folders.
# intercept_tls_get_addr=0: the leak checker's guess at the bounds of a
# dlopen'ed library's thread-local block (libjpeg's, once a JPEG is drawn)
# misfires when the block happens to start 16 bytes into a page, and the
# checker then crashes at the program's exit.
function(velmar_test_environment name)
  set(home ${CMAKE_BINARY_DIR}/testhome/${name})
  file(MAKE_DIRECTORY ${home} ${home}/config ${home}/data ${home}/cache ${home}/runtime)
  set_tests_properties(${name} PROPERTIES ENVIRONMENT
    "QT_QPA_PLATFORM=offscreen;HOME=${home};XDG_CONFIG_HOME=${home}/config;XDG_DATA_HOME=${home}/data;XDG_CACHE_HOME=${home}/cache;XDG_RUNTIME_DIR=${home}/runtime;ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:intercept_tls_get_addr=0;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endfunction()

# velmar_tool(<name> SOURCES ... LIBS ...): a tool or benchmark in build/bin.
function(velmar_tool name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
endfunction()

# Every subfolder of the calling folder that has a CMakeLists.txt.
function(velmar_add_subfolders)
  file(GLOB dirs LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(dir IN LISTS dirs)
    if(IS_DIRECTORY ${dir} AND EXISTS ${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()
