# The command-line tests run the instkit binary when it is built.
if(TARGET instkit_cli)
  target_compile_definitions(${test_target} PRIVATE INSTKIT_CLI_PATH="$<TARGET_FILE:instkit_cli>")
  add_dependencies(${test_target} instkit_cli)
endif()
