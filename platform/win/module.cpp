#include "platform/win/module.h"

#include <dlfcn.h>

#include <climits>
#include <cstdlib>

#ifndef VLR_FILE_VERSION
#define VLR_FILE_VERSION "0.0.0.0"
#endif

namespace win {

std::string GetModulePath(const void* address) {
  Dl_info info{};
  if (!dladdr(address, &info) || !info.dli_fname) return {};
  std::string path = info.dli_fname;
  // The main program reports the name it was started with, which may lack a folder.
  if (path.find('/') == std::string::npos) path = "/proc/self/exe";
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved)) return resolved;
  return path;
}

std::string GetModuleFolder(const void* address) {
  std::string path = GetModulePath(address);
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string GetFileVersion() { return VLR_FILE_VERSION; }

}  // namespace win
