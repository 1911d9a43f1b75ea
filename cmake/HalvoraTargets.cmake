# Build settings for our own targets, and the test helper.

if(NOT WIN32 AND HALVORA_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(NOT WIN32 AND HALVORA_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT HALVORA_SANITIZE STREQUAL "")
  message(FATAL_ERROR "HALVORA_SANITIZE must be empty, 'address' or 'thread' (native build)")
endif()

if(WIN32)
  # A self-contained executable: no libstdc++/winpthread DLLs beside it.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

function(halvora_settings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
  target_include_directories(${target} PUBLIC ${HALVORA_ROOT})
  if(WIN32)
    target_compile_definitions(${target} PUBLIC
      UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
  endif()
endfunction()

# halvora_add_library(name SOURCES... [LIBS libs...]
#                     [WIN32_SOURCES... ] [WIN32_LIBS libs...])
# The WIN32_ lists join in the Windows build only: the portable half of a
# subsystem builds natively, its *_win.cpp files only for Windows.
function(halvora_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;WIN32_SOURCES;WIN32_LIBS" ${ARGN})
  if(WIN32)
    list(APPEND ARG_SOURCES ${ARG_WIN32_SOURCES})
    list(APPEND ARG_LIBS ${ARG_WIN32_LIBS})
  endif()
  add_library(${name} STATIC ${ARG_SOURCES})
  halvora_settings(${name})
  if(ARG_LIBS)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  endif()
endfunction()

# halvora_add_test(name SOURCES... [LIBS...] [LABELS...] [THREADS] [TIMEOUT s]
#                  [LAUNCHER command args...])
# One CTest test per GoogleTest executable (a Wine start per test case would
# dominate the Windows run). THREADS marks suites that also run under TSan;
# the TSan build adds only those. Label "text" marks suites that run again in
# the GBK code page. LAUNCHER runs the test through a native command (one that
# starts a peer server, say): it gets the test's command line, Wine included,
# as its last arguments.
add_custom_target(halvora_thread_tests)
function(halvora_add_test name)
  cmake_parse_arguments(ARG "THREADS" "TIMEOUT" "SOURCES;LIBS;LABELS;LAUNCHER" ${ARGN})
  if(HALVORA_SANITIZE STREQUAL "thread" AND NOT ARG_THREADS)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  halvora_settings(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} halvora_test_main halvora::gtest)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  if(ARG_LAUNCHER)
    add_test(NAME ${name}
             COMMAND ${ARG_LAUNCHER} ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set(labels ${ARG_LABELS})
  if(ARG_THREADS)
    list(APPEND labels threads)
    add_dependencies(halvora_thread_tests ${name})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${labels}")
endfunction()

# halvora::<name> for each system library <name>.dll that Windows does not
# protect as a known DLL: an import library whose functions are resolved at
# their first call instead of when the program is loaded. The program limits
# the DLL search to the system folder first thing (app/main_win.cpp), so a
# planted <name>.dll beside it (in a Downloads folder, say) is never loaded;
# a DLL imported the usual way would be looked for there first, before any
# of our code runs. The delay-load import libraries are made from the
# toolchain's own import libraries at configure time.
function(halvora_delay_loaded_libraries)
  foreach(name IN LISTS ARGN)
    if(NOT WIN32)
      continue()
    endif()
    find_library(HALVORA_IMPORT_${name} NAMES ${name} REQUIRED)
    set(folder ${CMAKE_BINARY_DIR}/delay-load)
    set(def ${folder}/${name}.def)
    set(lib ${folder}/lib${name}_delay.a)
    file(MAKE_DIRECTORY ${folder})
    execute_process(COMMAND ${CMAKE_NM} ${HALVORA_IMPORT_${name}}
                    OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL "[^\n]* I __imp_[^\n]*" imports "${symbols}")
    set(exports "")
    foreach(line IN LISTS imports)
      string(REGEX REPLACE ".* I __imp_" "" function "${line}")
      string(APPEND exports "  ${function}\n")
    endforeach()
    string(TOUPPER ${name} dll)
    file(WRITE ${def} "LIBRARY ${dll}.dll\nEXPORTS\n${exports}")
    execute_process(COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --output-delaylib ${lib}
                    COMMAND_ERROR_IS_FATAL ANY)
    add_library(halvora::${name} STATIC IMPORTED GLOBAL)
    set_target_properties(halvora::${name} PROPERTIES
      IMPORTED_LOCATION ${lib}
      INTERFACE_LINK_LIBRARIES delayimp)
  endforeach()
endfunction()
halvora_delay_loaded_libraries(wininet wtsapi32 wintrust crypt32 bcrypt comctl32)
