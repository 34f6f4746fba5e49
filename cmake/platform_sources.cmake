# Which sources a build leaves out, and why.  Paths are globs relative to the
# source folder and apply to the library's modules and to tests/ alike
# (instkit_drop_excluded_sources).  Everything not listed is built everywhere;
# OS-specific code lives in host/platform/posix/ or host/platform/windows/, of
# which exactly one is compiled.

# Parts that need SQLite: the SQLite helper and the host tables, the data
# files built on them, and the tests of everything that stores in SQLite.
# Without SQLite, host/db/no_sqlite/ stands in for the helper: the form store
# then compiles but every database open raises ESQLiteError.
set(INSTKIT_SQLITE_PARTS
  host/db/sqlite_db.cpp host/db/sqlite_table.cpp host/db/open_database.cpp
  Didf/*.cpp
  tests/Didf/*.cpp tests/host/sqlite_*_test.cpp tests/host/form_store_test.cpp
  tests/Tidf/tree_files_test.cpp)
# Parts that need libpq: the PostgreSQL engine, the address dispatch that
# opens it, and the tests that talk to a server (the data-file tests are
# SQLite parts already).  Nothing else of the library calls them.
set(INSTKIT_LIBPQ_PARTS
  host/db/pg_connection.cpp host/db/pg_table.cpp host/db/pg_copy_format.cpp host/db/open_database.cpp
  tests/host/pg_*_test.cpp)
# Parts that need zstd (and zlib): the stream compressor and the data files.
set(INSTKIT_ZSTD_PARTS
  host/compress/compressor.cpp host/compress/read_ahead_decoder.cpp Didf/*.cpp
  tests/Didf/*.cpp tests/host/compressor_test.cpp)
# Parts that need libarchive and xxHash: unpacking and packing installation
# media and the content hash of unpacked files, with their tests.  Without
# them, Media/no_libarchive/ stands in: every archive fails to unpack with a
# sentence saying why, and nothing can be packed or hashed.
set(INSTKIT_LIBARCHIVE_PARTS
  Media/unpacker.cpp Media/media_pack.cpp Media/content_hash.cpp tests/Media/*.cpp)
# The registry object is a SQLite store on POSIX (host/platform/posix/) and
# the system registry on Windows (host/platform/windows/); one contract test
# runs on both.
# The command-line tests run the instkit program through the POSIX shell and
# process calls.
# Desktop links are freedesktop entry files with POSIX permissions; their
# test checks those (the Windows builds still compile the code).
# The engine's tests fork, kill and spawn processes, and record into the
# POSIX registry store.
set(INSTKIT_POSIX_ONLY_PARTS
  tests/Syslist/catalogue_cli_test.cpp tests/host/desktop_links_test.cpp tests/Didf/data_cli_test.cpp
  tests/Engine/*.cpp tests/Dllload/run_outcome_test.cpp)

set(INSTKIT_EXCLUDED_SOURCES "")
set(INSTKIT_STAND_IN_SOURCES "")
if(WIN32)
  list(APPEND INSTKIT_EXCLUDED_SOURCES ${INSTKIT_POSIX_ONLY_PARTS})
endif()
if(NOT SQLite3_FOUND)
  message(STATUS "instkit: SQLite not found for this target: the host tables, the data files "
                 "(Didf) and their tests are left out of this build; the form store is built "
                 "but cannot open a database")
  list(APPEND INSTKIT_EXCLUDED_SOURCES ${INSTKIT_SQLITE_PARTS})
  list(APPEND INSTKIT_STAND_IN_SOURCES ${PROJECT_SOURCE_DIR}/host/db/no_sqlite/sqlite_db_unavailable.cpp)
endif()
if(NOT LIBPQ_FOUND)
  message(STATUS "instkit: libpq not found for this target: the PostgreSQL table engine and its "
                 "tests are left out of this build")
  list(APPEND INSTKIT_EXCLUDED_SOURCES ${INSTKIT_LIBPQ_PARTS})
endif()
if(NOT ZSTD_FOUND OR NOT ZLIB_FOUND)
  message(STATUS "instkit: zstd or zlib not found for this target: the stream compressor, the data "
                 "files (Didf) and their tests are left out of this build")
  list(APPEND INSTKIT_EXCLUDED_SOURCES ${INSTKIT_ZSTD_PARTS})
endif()
if(NOT LIBARCHIVE_FOUND OR NOT XXHASH_FOUND)
  message(STATUS "instkit: libarchive or xxHash not found for this target: archives cannot be "
                 "unpacked or packed in this build; the media tests are left out")
  list(APPEND INSTKIT_EXCLUDED_SOURCES ${INSTKIT_LIBARCHIVE_PARTS})
  list(APPEND INSTKIT_STAND_IN_SOURCES ${PROJECT_SOURCE_DIR}/Media/no_libarchive/media_unavailable.cpp)
endif()
list(REMOVE_DUPLICATES INSTKIT_EXCLUDED_SOURCES)

# Removes the excluded files from the list variable named `sources_var`.
function(instkit_drop_excluded_sources sources_var)
  set(kept ${${sources_var}})
  foreach(pattern IN LISTS INSTKIT_EXCLUDED_SOURCES)
    file(GLOB hits ${PROJECT_SOURCE_DIR}/${pattern})
    if(hits AND kept)
      list(REMOVE_ITEM kept ${hits})
    endif()
  endforeach()
  set(${sources_var} ${kept} PARENT_SCOPE)
endfunction()
