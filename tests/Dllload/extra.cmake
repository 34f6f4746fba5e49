# Test subsystem libraries for the driver tests.  The tests copy them into
# temporary folders, one copy per subsystem, so each subsystem has its own
# instance of the library's state.
add_library(instkit_test_subsystem SHARED ${dir}/scripted_subsystem.cpp)
add_library(instkit_test_noperform SHARED ${dir}/scripted_subsystem.cpp)
target_compile_definitions(instkit_test_noperform PRIVATE INSTKIT_TEST_NO_PERFORM)
add_library(instkit_test_empty SHARED ${dir}/empty_subsystem.c)
foreach(lib instkit_test_subsystem instkit_test_noperform instkit_test_empty)
  instkit_subsystem_library(${lib})
endforeach()
target_link_libraries(instkit_test_subsystem PRIVATE instkit Threads::Threads)
target_link_libraries(instkit_test_noperform PRIVATE instkit Threads::Threads)
add_dependencies(${test_target} instkit_test_subsystem instkit_test_noperform instkit_test_empty)
target_compile_definitions(${test_target} PRIVATE
  INSTKIT_TEST_SUBSYSTEM="${INSTKIT_HOST_PATH_PREFIX}$<TARGET_FILE:instkit_test_subsystem>"
  INSTKIT_TEST_NOPERFORM="${INSTKIT_HOST_PATH_PREFIX}$<TARGET_FILE:instkit_test_noperform>"
  INSTKIT_TEST_EMPTY="${INSTKIT_HOST_PATH_PREFIX}$<TARGET_FILE:instkit_test_empty>"
  INSTKIT_TEST_LIBRARY_SUFFIX="${CMAKE_SHARED_LIBRARY_SUFFIX}")
target_sources(${test_target} PRIVATE ${dir}/driver_fixture.cpp)
# The command-line runs are tested through the instkit binary when it is built.
if(TARGET instkit_cli)
  add_dependencies(${test_target} instkit_cli)
  target_compile_definitions(${test_target} PRIVATE INSTKIT_CLI_BINARY="$<TARGET_FILE:instkit_cli>")
endif()
# The embedding example runs the same install from C++.
if(TARGET instkit_embed_install)
  add_dependencies(${test_target} instkit_embed_install)
  target_compile_definitions(${test_target} PRIVATE INSTKIT_EMBED_BINARY="$<TARGET_FILE:instkit_embed_install>")
endif()
# The example libraries, driven end to end.
if(TARGET instkit_example_files AND TARGET instkit_example_nested)
  add_dependencies(${test_target} instkit_example_files instkit_example_nested)
  target_compile_definitions(${test_target} PRIVATE
    INSTKIT_EXAMPLE_FILES="${INSTKIT_HOST_PATH_PREFIX}$<TARGET_FILE:instkit_example_files>"
    INSTKIT_EXAMPLE_NESTED="${INSTKIT_HOST_PATH_PREFIX}$<TARGET_FILE:instkit_example_nested>")
endif()
