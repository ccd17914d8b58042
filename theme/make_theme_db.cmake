# Packs a theme module into an import database.
#   cmake -DSQLITE3=<sqlite3 shell> -DMODULE=<dll> -DDB=<db> -DKEY=<k>
#         -DNAME=<t> -DVERSION=<v> -P make_theme_db.cmake
# The database holds table themes, declared as in the catalog, with one row.
# Blobs of an import database start with a marker byte; 0 means the raw
# bytes follow, so d is 00 followed by the module. The database is written
# under a temporary name and renamed when it checks out, so a failed run
# leaves no half-made file behind.

foreach(var SQLITE3 MODULE DB KEY NAME VERSION)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make_theme_db.cmake: ${var} is not set")
  endif()
endforeach()

file(SIZE ${MODULE} module_size)
set(tmp ${DB}.tmp)
file(REMOVE ${tmp})

execute_process(
  COMMAND ${SQLITE3} ${tmp}
    "create table themes(k varchar(64) primary key,t varchar(48),v integer,d blob);
     insert into themes(k,t,v,d) values('${KEY}','${NAME}',${VERSION},cast(X'00'||readfile('${MODULE}') as blob));
     select length(d) from themes;"
  RESULT_VARIABLE rc
  OUTPUT_VARIABLE stored
  ERROR_VARIABLE err
  OUTPUT_STRIP_TRAILING_WHITESPACE)

math(EXPR expected "${module_size} + 1")
if(NOT rc EQUAL 0 OR NOT stored STREQUAL "${expected}")
  file(REMOVE ${tmp})
  message(FATAL_ERROR "Packing ${MODULE} failed (sqlite3 ${rc}: ${err}; stored ${stored} bytes, expected ${expected})")
endif()
file(RENAME ${tmp} ${DB})
