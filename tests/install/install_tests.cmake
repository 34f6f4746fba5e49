# The installed tree, used from outside as a user uses it
# (scripts/install-check.sh): a prefix install with a find_package library and
# a pkg-config program, and the project that `instkit init` makes.  Each test
# installs the build into a temporary prefix, so they need the whole build
# (and the POSIX shell).  Sanitizer builds leave them out: a program built
# outside would need the sanitizer runtime too.
if(TARGET instkit_cli AND NOT CMAKE_CROSSCOMPILING AND NOT WIN32 AND NOT INSTKIT_SANITIZE)
  foreach(check consumers init guide)
    add_test(NAME install_${check}
      COMMAND ${PROJECT_SOURCE_DIR}/scripts/install-check.sh ${PROJECT_BINARY_DIR} ${check})
    set_tests_properties(install_${check} PROPERTIES TIMEOUT 600)
  endforeach()
endif()
