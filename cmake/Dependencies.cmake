# Third-party libraries. None of their sources live in the repository:
# SQLite and jansson come from Debian's source packages, fetched once into
# the build tree; zlib and GoogleTest come from installed Debian packages.

set(ZEL_DEPS_DIR ${CMAKE_BINARY_DIR}/_deps-src CACHE PATH
  "Where the fetched SQLite and jansson sources go (may be shared by several build trees)")
execute_process(
  COMMAND ${CMAKE_SOURCE_DIR}/tools/fetch-deps.sh ${ZEL_DEPS_DIR}
  RESULT_VARIABLE _fetch_rc)
if(NOT _fetch_rc EQUAL 0)
  message(FATAL_ERROR "Fetching the SQLite and jansson sources failed (deb-src entries missing? run tools/setup-debian.sh)")
endif()

# SQLite: the amalgamation, compiled with the cross compiler.
add_library(sqlite3 STATIC ${ZEL_DEPS_DIR}/sqlite/sqlite3.c)
target_include_directories(sqlite3 SYSTEM PUBLIC ${ZEL_DEPS_DIR}/sqlite)
target_compile_definitions(sqlite3 PUBLIC SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION)
target_compile_options(sqlite3 PRIVATE -O2 -w)

# jansson, static, without its tests, docs and install rules.
set(JANSSON_BUILD_SHARED_LIBS OFF CACHE BOOL "" FORCE)
set(JANSSON_EXAMPLES OFF CACHE BOOL "" FORCE)
set(JANSSON_BUILD_DOCS OFF CACHE BOOL "" FORCE)
set(JANSSON_WITHOUT_TESTS ON CACHE BOOL "" FORCE)
set(JANSSON_INSTALL OFF CACHE BOOL "" FORCE)
set(JANSSON_COVERAGE OFF CACHE BOOL "" FORCE)
add_subdirectory(${ZEL_DEPS_DIR}/jansson ${CMAKE_BINARY_DIR}/_deps-build/jansson EXCLUDE_FROM_ALL)
target_include_directories(jansson SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/_deps-build/jansson/include)
target_compile_options(jansson PRIVATE -w)

# zlib: the static archive of libz-mingw-w64-dev, never the import library.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

# GoogleTest, cross-compiled from Debian's sources.
if(ZEL_BUILD_TESTS)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_deps-build/googletest EXCLUDE_FROM_ALL)
  foreach(_t gtest gtest_main gmock gmock_main)
    if(TARGET ${_t})
      target_compile_options(${_t} PRIVATE -w)
    endif()
  endforeach()
endif()
