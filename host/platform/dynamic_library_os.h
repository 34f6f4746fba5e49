// What the OS layer of host/platform/dynamic_library.h supplies to the shared name
// resolution in host/platform/dynamic_library.cpp (one implementation per OS folder).
#pragma once

#include <string>

namespace instkit {

bool IsRegularFileForLibrary(const std::string& path);
// A name that says where it lies itself ("/x" here, "C:\x" or "\\x" on Windows).
bool IsRootedLibraryName(const std::string& name);
bool LibraryNameHasExtension(const std::string& name);
std::string JoinLibraryPath(const std::string& folder, const std::string& name);
// ".so" or ".dll": tried for a name without an extension.
const char* LibraryFileSuffix();

}  // namespace instkit
