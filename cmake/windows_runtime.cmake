# The MinGW C++ runtime DLLs (libstdc++, libgcc, winpthread) are copied into
# the build's bin/ folder next to instkit's DLL and the test programs, so the
# folder runs as it is under Windows or wine and can be shipped whole.
set(instkit_runtime_dlls "")
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libgcc_s_dw2-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(IS_ABSOLUTE "${found}" AND EXISTS "${found}")
    list(APPEND instkit_runtime_dlls ${found})
  endif()
endforeach()
if(NOT instkit_runtime_dlls)
  message(WARNING "instkit: no MinGW runtime DLLs found beside ${CMAKE_CXX_COMPILER}")
endif()
file(COPY ${instkit_runtime_dlls} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
install(FILES ${instkit_runtime_dlls} DESTINATION ${CMAKE_INSTALL_BINDIR})
