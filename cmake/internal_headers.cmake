# Headers of the library's modules that are not installed: the library's own
# workings, which no host, embedding program or subsystem library calls.  Their
# classes and functions are not exported either (host/base/export.h); the test
# programs reach them by linking the library's objects.  Every other header of
# a module is public: installed, and what it declares exported
# (tests/install/exported_symbols.py checks both).
set(INSTKIT_INTERNAL_HEADERS
  host/base/coding.h
  host/base/memory_stream.h
  host/base/operator_texts.h
  host/base/prefetch.h
  host/base/stream.h
  host/base/tree_walk.h
  host/platform/desktop_links.h
  host/platform/dynamic_library_os.h
  host/platform/file_stream.h
  host/platform/new_file.h
  host/platform/process_lock.h
  host/platform/worker.h
  host/db/pg_connection.h
  host/db/pg_copy_format.h
  host/db/pg_table.h
  host/db/sql_identifier.h
  host/db/sqlite_db.h
  host/db/sqlite_table.h
  host/compress/compressor.h
  host/compress/read_ahead_decoder.h
  host/forms/branch_stream_format.h
  Tidf/line_reader.h
  Tidf/node_index.h
  Syslist/catalogue_format.h
  Syslist/catalogue_index.h
  Syslist/node_arena.h
  Syslist/node_walk.h
  Viewlist/tree_walk.h
  Didf/check_record.h
  Didf/data_file_format.h
  Didf/data_file_percent.h
  Didf/plain_image_reader.h
  Didf/record_layout.h
  Media/content_hash.h
  Media/entry_name.h
  Media/unpack_journal.h
  Media/unpacker.h
  Engine/drive_loop.h
  Engine/run_links.h
  Engine/run_log.h
  Engine/run_media.h
  Engine/run_worker.h
  Engine/worker_protocol.h
)
