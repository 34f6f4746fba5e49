# The tests make their own archives with libarchive.
target_link_libraries(${test_target} PRIVATE PkgConfig::LIBARCHIVE)
# Packing, installing, verifying and uninstalling through the instkit binary.
if(TARGET instkit_cli)
  target_compile_definitions(${test_target} PRIVATE INSTKIT_CLI_PATH="$<TARGET_FILE:instkit_cli>")
  add_dependencies(${test_target} instkit_cli)
endif()
