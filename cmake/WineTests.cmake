# Every test executable runs under Wine, in a prefix of its own cloned from
# one template inside the build tree (tools/winebed/winebed). The fixture
# tests below make the template and the display before the first test and
# stop every server and the display after the last one.

if(ZEL_ARCH STREQUAL "x86_64")
  set(ZEL_WINE_LOADER /usr/lib/wine/wine64 CACHE FILEPATH "Wine loader for the test executables")
  set(ZEL_WINE_SERVER /usr/lib/wine/wineserver64 CACHE FILEPATH "wineserver for the test prefixes")
  set(ZEL_WINE_ARCH win64)
else()
  set(ZEL_WINE_LOADER /usr/lib/wine/wine CACHE FILEPATH "Wine loader for the test executables")
  set(ZEL_WINE_SERVER /usr/lib/wine/wineserver32 CACHE FILEPATH "wineserver for the test prefixes")
  set(ZEL_WINE_ARCH win32)
endif()

set(ZEL_WINEBED_DIR ${CMAKE_BINARY_DIR}/winebed)
set(ZEL_WINEBED ${CMAKE_SOURCE_DIR}/tools/winebed/winebed)
file(MAKE_DIRECTORY ${ZEL_WINEBED_DIR})
file(WRITE ${ZEL_WINEBED_DIR}/winebed.env
  "WINE_LOADER=${ZEL_WINE_LOADER}\nWINE_SERVER=${ZEL_WINE_SERVER}\nWINE_ARCH=${ZEL_WINE_ARCH}\n")

set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEL_WINEBED} run ${ZEL_WINEBED_DIR})

# The scripts run this before choosing which build to test (winebed can-run).
add_executable(winebed_probe ${CMAKE_SOURCE_DIR}/tools/winebed/probe.c)

add_test(NAME winebed_setup COMMAND ${ZEL_WINEBED} setup ${ZEL_WINEBED_DIR})
set_tests_properties(winebed_setup PROPERTIES FIXTURES_SETUP winebed TIMEOUT 300)
add_test(NAME winebed_cleanup COMMAND ${ZEL_WINEBED} cleanup ${ZEL_WINEBED_DIR})
set_tests_properties(winebed_cleanup PROPERTIES FIXTURES_CLEANUP winebed TIMEOUT 120)

# zel_add_wine_test(<target> [NAME test] [TIMEOUT s] [PREFIX_INIT "exe args"]
#                   [ARGS ...])
# Registers the gtest executable <target> as one ctest test (named after the
# target unless NAME is given) that runs under Wine in its own prefix, named
# after the test. One executable may so be run as several tests, each with
# its own --gtest_filter, that run side by side.
function(zel_add_wine_test target)
  cmake_parse_arguments(ARG "" "NAME;TIMEOUT;PREFIX_INIT" "ARGS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  if(NOT ARG_NAME)
    set(ARG_NAME ${target})
  endif()
  add_test(NAME ${ARG_NAME}
    COMMAND ${ZEL_WINEBED} run ${ZEL_WINEBED_DIR} $<TARGET_FILE:${target}> ${ARG_ARGS}
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>)
  set(_env "ZEL_PREFIX=${ARG_NAME}")
  if(ARG_PREFIX_INIT)
    list(APPEND _env "ZEL_PREFIX_INIT=${ARG_PREFIX_INIT}")
  endif()
  set_tests_properties(${ARG_NAME} PROPERTIES
    FIXTURES_REQUIRED winebed
    TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "${_env}")
endfunction()
