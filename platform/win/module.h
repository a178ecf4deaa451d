#pragma once
#include <string>

namespace win {

// Full path of the executable or shared library that contains `address`.
std::string GetModulePath(const void* address);
// Its folder, with a trailing "/".
std::string GetModuleFolder(const void* address);
// The module's file version, "major.minor.patch.0".
std::string GetFileVersion();

}  // namespace win
