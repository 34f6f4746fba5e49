# The export tables of the subsystem DLLs, read with objdump on the build
# machine: each must hold exactly the plain entry-point names it defines.
# The 64-bit build checks its own DLLs and, when INSTKIT_WIN32_BUILD_DIR names
# a 32-bit build (make test-windows sets it), that build's DLLs too: 32-bit
# stdcall names are where "@N" decorations would appear.
set(INSTKIT_WIN32_BUILD_DIR "" CACHE PATH "A 32-bit Windows build whose DLL exports the tests also check")

set(instkit_all_entries ${INSTKIT_SUBSYSTEM_ENTRY_POINTS})
set(instkit_no_perform ${INSTKIT_SUBSYSTEM_ENTRY_POINTS})
list(REMOVE_ITEM instkit_no_perform Perform)

# The example libraries "files" and "nested" export the entry points they use.
set(instkit_files_entries SetLogCallBack SetExternalParameter SetIUGRegim SetPath AskQuestions Perform UserAbort)
set(instkit_nested_entries SetLogCallBack SetTreePointer SetIUGRegim SetQuestionsLevel SetPath SetClientNumber
  SetProgressCallBack SetSessionName AskQuestions Perform UserAbort)

function(instkit_add_export_checks width objdump build)
  set(bin ${build}/bin)
  if(INSTKIT_BUILD_EXAMPLES)
    instkit_add_export_check(dll_exports_${width}_example_subsystem ${objdump}
      ${bin}/example_subsystem.dll EXPECTED ${instkit_all_entries})
    instkit_add_export_check(dll_exports_${width}_example_files ${objdump}
      ${build}/examples/lib/files.dll EXPECTED ${instkit_files_entries})
    instkit_add_export_check(dll_exports_${width}_example_nested ${objdump}
      ${build}/examples/lib/nested.dll EXPECTED ${instkit_nested_entries})
  endif()
  instkit_add_export_check(dll_exports_${width}_test_subsystem ${objdump}
    ${bin}/instkit_test_subsystem.dll EXPECTED ${instkit_all_entries})
  instkit_add_export_check(dll_exports_${width}_test_noperform ${objdump}
    ${bin}/instkit_test_noperform.dll EXPECTED ${instkit_no_perform})
  instkit_add_export_check(dll_exports_${width}_test_empty ${objdump}
    ${bin}/instkit_test_empty.dll EXPECTED)
endfunction()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(instkit_width 64)
else()
  set(instkit_width 32)
endif()
instkit_add_export_checks(${instkit_width} ${CMAKE_OBJDUMP} ${PROJECT_BINARY_DIR})

if(INSTKIT_WIN32_BUILD_DIR AND instkit_width EQUAL 64)
  find_program(INSTKIT_OBJDUMP_32 i686-w64-mingw32-objdump REQUIRED)
  instkit_add_export_checks(32 ${INSTKIT_OBJDUMP_32} ${INSTKIT_WIN32_BUILD_DIR})
endif()

# The check itself must notice a difference: the library without Perform,
# held against the full list, has to fail.
instkit_add_export_check(dll_exports_check_notices_a_missing_name ${CMAKE_OBJDUMP}
  ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/instkit_test_noperform.dll EXPECTED ${instkit_all_entries})
set_tests_properties(dll_exports_check_notices_a_missing_name PROPERTIES WILL_FAIL TRUE)
