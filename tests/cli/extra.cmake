# The wizard is tried through the instkit binary in a terminal that tmux
# provides; the scripted test library plays the subsystem library.  The
# command transcripts run the same binary with the example libraries.
if(TARGET instkit_cli)
  add_dependencies(${test_target} instkit_cli)
  target_compile_definitions(${test_target} PRIVATE INSTKIT_CLI_BINARY="$<TARGET_FILE:instkit_cli>")
  if(TARGET instkit_test_subsystem AND TARGET instkit_example_files AND TARGET instkit_example_nested)
    add_dependencies(${test_target} instkit_test_subsystem instkit_example_files instkit_example_nested)
    target_compile_definitions(${test_target} PRIVATE
      INSTKIT_TEST_SUBSYSTEM="$<TARGET_FILE:instkit_test_subsystem>"
      INSTKIT_EXAMPLE_LIB_DIR="$<TARGET_FILE_DIR:instkit_example_files>")
  endif()
  # The demo's archives, packed at build time, go beside its description.
  if(TARGET instkit_demo_media)
    add_dependencies(${test_target} instkit_demo_media)
    target_compile_definitions(${test_target} PRIVATE INSTKIT_DEMO_MEDIA_DIR="${CMAKE_BINARY_DIR}/examples/demo/media")
  endif()
endif()
# The screens' text measure is tried on its own too.
if(TARGET instkit_setup_screens)
  target_link_libraries(${test_target} PRIVATE instkit_setup_screens)
  target_compile_definitions(${test_target} PRIVATE INSTKIT_SETUP_SCREENS)
endif()
