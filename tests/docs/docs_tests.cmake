# The documentation, checked: every relative link of the README and docs/
# leads somewhere (scripts/check-doc-links.py), and every command's --json
# carries the keys the table of docs/json.md lists (json_keys.py).
find_package(Python3 COMPONENTS Interpreter)
if(Python3_FOUND)
  add_test(NAME docs_links COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/scripts/check-doc-links.py
    ${PROJECT_SOURCE_DIR})
  if(TARGET instkit_cli AND TARGET instkit_example_files AND NOT CMAKE_CROSSCOMPILING)
    add_test(NAME docs_json_keys COMMAND Python3::Interpreter ${CMAKE_CURRENT_LIST_DIR}/json_keys.py
      $<TARGET_FILE:instkit_cli> ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/examples/lib)
  endif()
endif()
