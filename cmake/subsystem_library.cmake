# Subsystem libraries: the DLLs (shared objects on POSIX) that the drivers
# load by file name and drive through their exported entry points.
#
#   instkit_subsystem_library(<target>)
#
# makes <target> (an add_library(... SHARED) target) such a library: no "lib"
# prefix, only the marked entry points exported, and on Windows the entry
# points exported under their plain names.  On 32-bit Windows the entry points
# are stdcall, which the compiler decorates ("Perform@0"); --kill-at exports
# them undecorated, as the drivers look them up.  The target gets the include
# folder of the entry-point header (instkit::subsystem_api).
#
# This file is installed with the CMake package: find_package(instkit) makes
# both functions available to libraries built outside this source tree.
set(INSTKIT_HELPER_DIR ${CMAKE_CURRENT_LIST_DIR})

# Every entry-point name, as the drivers look them up (case-sensitive).
set(INSTKIT_SUBSYSTEM_ENTRY_POINTS
  SetLogCallBack SetTreePointer SetExternalParameter SetIUGRegim SetQuestionsLevel
  SetPath SetClientNumber SetProgressCallBack SetSessionName SetHideProgressCallBack
  SetShowProgressCallBack AskQuestions Perform UserAbort UserSuspendThread UserResumeThread)

function(instkit_subsystem_library target)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden)
  target_link_libraries(${target} PRIVATE instkit::subsystem_api)
  if(WIN32)
    target_link_options(${target} PRIVATE -Wl,--kill-at)
  endif()
endfunction()

# Export-table checks (Windows builds): a CTest test that reads the export
# table of <dll> with <objdump> and fails unless it holds exactly the names in
# EXPECTED (no "@N" decorations, no duplicates, nothing missing or extra).
#   instkit_add_export_check(<test name> <objdump> <dll path> EXPECTED <names...>)
function(instkit_add_export_check name objdump dll)
  cmake_parse_arguments(arg "" "" "EXPECTED" ${ARGN})
  string(REPLACE ";" "," expected "${arg_EXPECTED}")
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${objdump} -DDLL=${dll} -DEXPECTED=${expected}
            -P ${INSTKIT_HELPER_DIR}/check_dll_exports.cmake)
endfunction()
