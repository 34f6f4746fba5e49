# References of the data-file benchmark: raw SQLite and zlib (gzip -6).
find_package(ZLIB REQUIRED)
find_package(SQLite3 REQUIRED)
target_link_libraries(${name} PRIVATE ZLIB::ZLIB SQLite::SQLite3)
