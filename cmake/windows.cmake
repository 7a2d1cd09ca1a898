# Cross build: zarn.exe and the test programs of the Win32 side, run under Wine by CTest.
# No time stamp in the program files, so that a build can be repeated byte for byte.
set(ZARN_WINDOWS_FLAGS -static -Wl,--no-insert-timestamp)

# The release (scripts/package) keeps debug information, which goes into a symbol file of its own.
option(ZARN_RELEASE "Build with debug information for the release's symbol file" OFF)
if(ZARN_RELEASE)
  add_compile_options(-g)
endif()

# The version, for the resources and the scripts: "0.3.0.0", and as the program shows it, "0.03".
if(PROJECT_VERSION_MINOR LESS 10)
  set(ZARN_PRODUCT_VERSION "${PROJECT_VERSION_MAJOR}.0${PROJECT_VERSION_MINOR}")
else()
  set(ZARN_PRODUCT_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
endif()
configure_file(cmake/version.h.in ${CMAKE_BINARY_DIR}/zarn_version.h @ONLY)
configure_file(app/zarn.manifest.in ${CMAKE_BINARY_DIR}/zarn.manifest @ONLY)
file(WRITE ${CMAKE_BINARY_DIR}/zarn-version.txt "${PROJECT_VERSION}\n")

add_library(zarn_win32 STATIC
  win/messages.cpp
  win/paths.cpp
  win/file_access.cpp
  win/window.cpp
  textfile/text_file.cpp
  textfile/temporary_files.cpp
  textfile/win32_code_page.cpp
  stamp/startup_settings.cpp
  stamp/stamp_run.cpp
  stamp/F01.cpp
  app/shell.cpp)
target_link_libraries(zarn_win32 PUBLIC zarn_core)
target_compile_definitions(zarn_win32 PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
target_compile_options(zarn_win32 PRIVATE -Wall -Wextra)

# Resources: the icon is drawn and the main window's properties compiled at build time.
set(ZARN_ICON ${CMAKE_BINARY_DIR}/MAINICON.ico)
add_custom_command(OUTPUT ${ZARN_ICON}
  COMMAND ${PYTHON3} ${CMAKE_SOURCE_DIR}/cmake/draw_icon.py ${ZARN_ICON}
  DEPENDS ${CMAKE_SOURCE_DIR}/cmake/draw_icon.py)
set_source_files_properties(app/zarn.rc PROPERTIES
  OBJECT_DEPENDS "${ZARN_ICON};${ZARN_FORM_BYTES};${CMAKE_BINARY_DIR}/zarn.manifest;${CMAKE_BINARY_DIR}/zarn_version.h;${CMAKE_SOURCE_DIR}/win/message_ids.h")
include_directories(${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR}/app ${CMAKE_SOURCE_DIR})

add_executable(zarn WIN32 app/main.cpp app/zarn.rc ${ZARN_ICON} ${ZARN_FORM_BYTES})
target_link_libraries(zarn PRIVATE zarn_win32)
target_link_options(zarn PRIVATE ${ZARN_WINDOWS_FLAGS} -municode -mwindows)
set_target_properties(zarn PROPERTIES OUTPUT_NAME zarn)

# GoogleTest built from the sources that Debian's googletest package ships.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_executable(zarn_win32_tests
  ${ZARN_TEST_SUPPORT}
  tests/win32/win32_test.cpp
  tests/win32/text_file_test.cpp
  tests/win32/code_page_test.cpp
  tests/win32/resources_test.cpp
  tests/win32/shell_test.cpp
  tests/win32/stamp_run_test.cpp
  app/zarn.rc ${ZARN_ICON} ${ZARN_FORM_BYTES})
target_link_libraries(zarn_win32_tests PRIVATE zarn_win32 gtest_main version)
add_dependencies(zarn_win32_tests zarn)
target_link_options(zarn_win32_tests PRIVATE ${ZARN_WINDOWS_FLAGS})

# The code-page tests run once per ANSI code page that the locale gives.
foreach(locale ja_JP.UTF-8 zh_CN.UTF-8 ko_KR.UTF-8 de_DE.UTF-8 ru_RU.UTF-8)
  add_test(NAME win32.${locale} COMMAND zarn_win32_tests)
  # Wine keeps a locale's settings in the prefix: runs in different locales never share it at once.
  set_tests_properties(win32.${locale} PROPERTIES ENVIRONMENT "LC_ALL=${locale}" RESOURCE_LOCK wineprefix)
endforeach()

add_executable(launch tests/e2e/launch.cpp)
target_link_options(launch PRIVATE ${ZARN_WINDOWS_FLAGS} -municode)

# The keeper of Wine's desktop (the end-to-end tests and scripts/bench).
add_executable(desktop_keeper WIN32 tests/e2e/desktop_keeper.cpp)
target_link_options(desktop_keeper PRIVATE ${ZARN_WINDOWS_FLAGS} -municode -mwindows)

# Yardsticks for start-up time and for the copy limit (scripts/bench).
foreach(yardstick empty_gui one_window copy_limit)
  add_executable(${yardstick} WIN32 tests/bench/${yardstick}.cpp)
  target_link_options(${yardstick} PRIVATE ${ZARN_WINDOWS_FLAGS} -municode -mwindows)
endforeach()

# The end-to-end tests drive the real zarn.exe under Wine from Python.
add_test(NAME e2e COMMAND ${PYTHON3} -m pytest -q -p no:cacheprovider ${CMAKE_SOURCE_DIR}/tests/e2e
         --zarn-exe $<TARGET_FILE:zarn> --launch-exe $<TARGET_FILE:launch>
         --desktop-keeper-exe $<TARGET_FILE:desktop_keeper> --source-dir ${CMAKE_SOURCE_DIR})
set_tests_properties(e2e PROPERTIES TIMEOUT 1800 RESOURCE_LOCK wineprefix)
