# Generates the documents that follow the command line's own command tree:
#   OUTPUT_DIR/completion/instkit      bash completion (instkit completion bash)
#   OUTPUT_DIR/man/man1/instkit*.1     one man page for instkit and one per
#                                      command, made by help2man from --help
# and touches OUTPUT_DIR/stamp.  HELP2MAN empty or not found: no man pages.
#   cmake -DINSTKIT=... -DHELP2MAN=... -DVERSION=... -DOUTPUT_DIR=... -P cli_docs.cmake
file(REMOVE_RECURSE ${OUTPUT_DIR}/completion ${OUTPUT_DIR}/man)
file(MAKE_DIRECTORY ${OUTPUT_DIR}/completion ${OUTPUT_DIR}/man/man1)

execute_process(COMMAND ${INSTKIT} completion bash
  OUTPUT_FILE ${OUTPUT_DIR}/completion/instkit RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "instkit completion bash failed: ${status}")
endif()

# help2man PAGE NAME HELP_OPTION [EXTRA...]: one page from "instkit HELP_OPTION".
function(instkit_man_page page name help_option)
  execute_process(COMMAND ${HELP2MAN} --no-info --no-discard-stderr
      "--version-string=${page} ${VERSION}" "--source=instkit ${VERSION}" "--help-option=${help_option}"
      "--name=${name}" "--output=${OUTPUT_DIR}/man/man1/${page}.1" ${ARGN} ${INSTKIT}
    RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "help2man failed for ${page}: ${errors}")
  endif()
endfunction()

if(HELP2MAN)
  execute_process(COMMAND ${INSTKIT} completion list OUTPUT_VARIABLE listing RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "instkit completion list failed: ${status}")
  endif()
  # One line per command: its words, a tab, its description.  Semicolons
  # would split CMake lists: they travel as a placeholder.
  string(REPLACE ";" "<semicolon>" listing "${listing}")
  string(REPLACE "\n" ";" lines "${listing}")
  set(see_also "")
  foreach(line IN LISTS lines)
    if(line STREQUAL "")
      continue()
    endif()
    string(FIND "${line}" "\t" tab)
    string(SUBSTRING "${line}" 0 ${tab} words)
    math(EXPR start "${tab} + 1")
    string(SUBSTRING "${line}" ${start} -1 description)
    string(REPLACE "<semicolon>" ";" description "${description}")
    string(REPLACE " " "-" page "instkit ${words}")
    instkit_man_page(${page} "${description}" "${words} --help")
    string(APPEND see_also ".BR ${page} (1),\n")
  endforeach()
  string(REGEX REPLACE ",\n$" "\n" see_also "${see_also}")
  file(WRITE ${OUTPUT_DIR}/see-also.h2m "[SEE ALSO]\n${see_also}")
  instkit_man_page(instkit "installer core: IDF files, subsystem catalogues, installation runs and data files"
    "--help" "--include=${OUTPUT_DIR}/see-also.h2m")
endif()
file(TOUCH ${OUTPUT_DIR}/stamp)
