# The tests make their own archives with libarchive.
target_link_libraries(${test_target} PRIVATE PkgConfig::LIBARCHIVE)
