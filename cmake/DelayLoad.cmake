# Delay-import libraries: a program linked with one loads the DLL on the
# first call of one of its functions instead of at start-up, so a run that
# never calls into it (a maintenance switch) never pays for loading it.
#
# zel_delay_import_libraries(<out var> <dll>...) makes, at configure time,
# <build>/delayload/lib<dll>_delay.a for each DLL from the toolchain's own
# import library lib<dll>.a, and sets <out var> to their paths. Link them
# before the ordinary import libraries.

# On i686, ld drops the code of import-library members whose functions are
# only called through their __imp_ pointers, which every call of a
# dllimport function is; for a delay-import library that code is the stub
# that loads the DLL, so calls would jump to address 0. Moving a member's
# .idata$N tables into .didat$N keeps ld from taking it for an ordinary
# import member; the suffixes a/b/c keep the head's table start before the
# functions' entries and the tail's terminator after them, the order ld
# gives the .idata tables by member name.
function(_zel_move_delay_tables archive)
  set(work ${archive}.members)
  file(REMOVE_RECURSE ${work})
  file(MAKE_DIRECTORY ${work})
  execute_process(COMMAND ${CMAKE_AR} x ${archive} WORKING_DIRECTORY ${work} RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "cannot unpack ${archive}")
  endif()
  execute_process(COMMAND ${CMAKE_AR} t ${archive} OUTPUT_VARIABLE members RESULT_VARIABLE rc)
  string(REPLACE "\n" ";" members "${members}")
  list(FILTER members INCLUDE REGEX ".")
  foreach(member IN LISTS members)
    if(member MATCHES "_h\\.o$")
      set(order a)
    elseif(member MATCHES "_t\\.o$")
      set(order c)
    else()
      set(order b)
    endif()
    set(renames)
    foreach(n 4 5 6 7)
      list(APPEND renames --rename-section ".idata\$${n}=.didat\$${n}${order},alloc,load,data,contents")
    endforeach()
    execute_process(COMMAND ${CMAKE_OBJCOPY} ${renames} ${member} WORKING_DIRECTORY ${work} RESULT_VARIABLE rc)
    if(rc)
      message(FATAL_ERROR "cannot rewrite ${member} of ${archive}")
    endif()
  endforeach()
  file(REMOVE ${archive})
  execute_process(COMMAND ${CMAKE_AR} rcs ${archive} ${members} WORKING_DIRECTORY ${work} RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "cannot pack ${archive}")
  endif()
  file(REMOVE_RECURSE ${work})
endfunction()

# The functions an import library offers, as a module-definition file: each
# function has an __imp_ pointer and a stub; data exports (no stub) cannot
# be delay-loaded and stay with the ordinary import library.
function(_zel_write_def dll implib def)
  execute_process(COMMAND ${CMAKE_NM} -g ${implib} OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "cannot list ${implib}")
  endif()
  string(REPLACE "\n" ";" lines "${listing}")
  set(stubs)
  set(pointers)
  foreach(line IN LISTS lines)
    if(line MATCHES " T (.+)$")
      list(APPEND stubs "${CMAKE_MATCH_1}")
    elseif(line MATCHES " I __imp_(.+)$")
      list(APPEND pointers "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(text "LIBRARY ${dll}.dll\nEXPORTS\n")
  foreach(name IN LISTS pointers)
    list(FIND stubs "${name}" found)
    if(found EQUAL -1)
      continue()
    endif()
    # i686 names carry the C underscore; the definition file does not.
    if(ZEL_ARCH STREQUAL "i686")
      string(REGEX REPLACE "^_" "" name "${name}")
    endif()
    string(APPEND text "${name}\n")
  endforeach()
  file(WRITE ${def} "${text}")
endfunction()

function(zel_delay_import_libraries out)
  set(dir ${CMAKE_BINARY_DIR}/delayload)
  file(MAKE_DIRECTORY ${dir})
  set(libraries)
  foreach(dll IN LISTS ARGN)
    set(archive ${dir}/lib${dll}_delay.a)
    find_file(ZEL_IMPLIB_${dll} lib${dll}.a PATHS /usr/${ZEL_ARCH}-w64-mingw32/lib NO_DEFAULT_PATH
              NO_CMAKE_FIND_ROOT_PATH)
    if(NOT ZEL_IMPLIB_${dll})
      message(FATAL_ERROR "no import library lib${dll}.a")
    endif()
    set(def ${dir}/${dll}.def)
    if(NOT EXISTS ${archive} OR ${ZEL_IMPLIB_${dll}} IS_NEWER_THAN ${archive}
       OR ${CMAKE_CURRENT_FUNCTION_LIST_FILE} IS_NEWER_THAN ${archive})
      _zel_write_def(${dll} ${ZEL_IMPLIB_${dll}} ${def})
      set(killAt)
      if(ZEL_ARCH STREQUAL "i686")
        set(killAt -k)
      endif()
      execute_process(COMMAND ${CMAKE_DLLTOOL} ${killAt} -d ${def} -D ${dll}.dll -y ${archive}
                      RESULT_VARIABLE rc)
      if(rc)
        message(FATAL_ERROR "dlltool could not make ${archive}")
      endif()
      if(ZEL_ARCH STREQUAL "i686")
        _zel_move_delay_tables(${archive})
      endif()
    endif()
    list(APPEND libraries ${archive})
  endforeach()
  set(${out} ${libraries} PARENT_SCOPE)
endfunction()
