# The command-line tests run the instkit binary when it is built.
if(TARGET instkit_cli)
  target_compile_definitions(${test_target} PRIVATE INSTKIT_CLI_PATH="$<TARGET_FILE:instkit_cli>")
  add_dependencies(${test_target} instkit_cli)
endif()
# check --media on the demo's archives, packed at build time.
if(TARGET instkit_demo_media)
  target_compile_definitions(${test_target} PRIVATE INSTKIT_DEMO_MEDIA="${PROJECT_BINARY_DIR}/examples/demo/media")
  add_dependencies(${test_target} instkit_demo_media)
endif()
