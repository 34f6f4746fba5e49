# The fault tests reach below the tables with a SQLite VFS of their own, and
# the command-line tests run the instkit binary when it is built.
target_link_libraries(${test_target} PRIVATE SQLite::SQLite3)
if(TARGET instkit_cli)
  target_compile_definitions(${test_target} PRIVATE INSTKIT_CLI_PATH="$<TARGET_FILE:instkit_cli>")
  add_dependencies(${test_target} instkit_cli)
endif()
