// Subsystem libraries, through the platform layer: load a shared library by
// file name, look an exported symbol up by its exact name, release it.
//
// How a file name is found (decided here, once, for every driver and every
// library that drives other libraries in the same process):
//   - an absolute name is loaded as given;
//   - otherwise each folder of Settings().LibrarySearchFolders() is tried in order
//     (the command line sets the folder of the installation description
//     first, then its --library-path folders), and the first existing file
//     wins;
//   - otherwise the name goes to the system loader unchanged (dlopen's usual
//     search path on POSIX, LoadLibraryA's on Windows).
// A name without an extension also tries the platform suffix (".so" on POSIX;
// Windows appends ".dll" itself), so one description serves both systems.
//
// Failures never raise: LoadDynamicLibrary returns null and keeps the system's
// reason (dlerror / GetLastError text), readable with LastDynamicLibraryError
// on the same thread.
#pragma once

#include <string>
#include <vector>

#include "host/base/export.h"

namespace instkit {

using TLibraryHandle = void*;

// The file the loader would try first for `name` (the resolution above, up to
// the system search path, which is not simulated: then `name` itself).
INSTKIT_API std::string ResolveLibraryName(const std::string& name);

// A library name as a catalogue gives it (Windows-1251) spelled as the file
// system spells names, and back: UTF-8 here; unchanged on Windows, whose
// ANSI calls take Windows-1251 as it is.  The loading and resolving
// functions take and give file system names.
INSTKIT_API std::string NativeLibraryName(const std::string& name);
INSTKIT_API std::string CatalogueLibraryName(const std::string& native);

// Loads the library; null on failure.  Each successful call must be paired
// with one FreeDynamicLibrary (the system counts references).
INSTKIT_API TLibraryHandle LoadDynamicLibrary(const std::string& name);
// The reason of the last failed load or release on this thread.
INSTKIT_API std::string LastDynamicLibraryError();

// The exported symbol `name` (case-sensitive), or null.  A null handle gives null.
INSTKIT_API void* FindLibrarySymbol(TLibraryHandle handle, const char* name);

// Releases one reference; false (with LastDynamicLibraryError) on failure.
// A null handle is a no-op that succeeds.
INSTKIT_API bool FreeDynamicLibrary(TLibraryHandle handle);

}  // namespace instkit
