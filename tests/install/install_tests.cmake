# The installed tree, used from outside as a user uses it
# (scripts/install-check.sh): a prefix install with a find_package library and
# a pkg-config program, and the project that `instkit init` makes.  Each test
# installs the build into a temporary prefix, so they need the whole build
# (and the POSIX shell).  Sanitizer builds leave them out: a program built
# outside would need the sanitizer runtime too.
if(TARGET instkit_cli AND NOT CMAKE_CROSSCOMPILING AND NOT WIN32 AND NOT INSTKIT_SANITIZE)
  foreach(check consumers init)
    add_test(NAME install_${check}
      COMMAND ${PROJECT_SOURCE_DIR}/scripts/install-check.sh ${PROJECT_BINARY_DIR} ${check})
    set_tests_properties(install_${check} PROPERTIES TIMEOUT 600)
  endforeach()
endif()

# The shared library exports exactly the public interface: every exported
# symbol belongs to an installed header, every definition for an installed
# header is exported (tests/install/exported_symbols.py; nm reads ELF, so
# this runs on Linux).
find_package(Python3 COMPONENTS Interpreter)
if(Python3_FOUND AND NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  set(symbols_dir ${CMAKE_CURRENT_BINARY_DIR}/exported_symbols)
  file(GENERATE OUTPUT ${symbols_dir}/objects.txt CONTENT "$<JOIN:$<TARGET_OBJECTS:instkit_objects>,\n>\n")
  list(JOIN INSTKIT_PUBLIC_HEADERS "\n" installed_headers)
  list(JOIN INSTKIT_ALL_HEADERS "\n" all_headers)
  file(GENERATE OUTPUT ${symbols_dir}/installed.txt CONTENT "${installed_headers}\n")
  file(GENERATE OUTPUT ${symbols_dir}/headers.txt CONTENT "${all_headers}\n")
  add_test(NAME exported_symbols
    COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/install/exported_symbols.py
            --library $<TARGET_FILE:instkit> --objects ${symbols_dir}/objects.txt
            --source-dir ${PROJECT_SOURCE_DIR} --installed ${symbols_dir}/installed.txt
            --headers ${symbols_dir}/headers.txt)
endif()
