#include "platform/win/folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

namespace win {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? v : "";
}

std::string HomeDir() {
  std::string home = Env("HOME");
  return home.empty() ? "/tmp" : home;
}

std::string Ensure(std::string path) {
  CreateDirectories(path);
  return path;
}

}  // namespace

std::string ConfigFolder() {
  if (std::string vlr = Env("VLR_HOME"); !vlr.empty()) return Ensure(vlr + "/config");
  std::string xdg = Env("XDG_CONFIG_HOME");
  return Ensure((xdg.empty() ? HomeDir() + "/.config" : xdg) + "/vellora");
}

std::string AppDataFolder() {
  if (std::string vlr = Env("VLR_HOME"); !vlr.empty()) return Ensure(vlr + "/data");
  std::string xdg = Env("XDG_DATA_HOME");
  return Ensure((xdg.empty() ? HomeDir() + "/.local/share" : xdg) + "/vellora");
}

std::string TempFolder() {
  std::string tmp = Env("TMPDIR");
  if (tmp.empty()) tmp = "/tmp";
  if (tmp.back() != '/') tmp += '/';
  return tmp;
}

LONG GetTempFileName(std::string_view dir, std::string_view prefix, std::string& path) {
  std::string base(dir);
  if (base.empty()) base = TempFolder();
  if (base.back() != '/') base += '/';
  base += prefix.substr(0, 3);
  static thread_local std::mt19937 gen{std::random_device{}()};
  // The platform's unique number is 16 bits; we allow more so that busy folders never run out.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    char num[16];
    std::snprintf(num, sizeof num, "%X", static_cast<unsigned>(gen() & (attempt < 100 ? 0xFFFF : 0xFFFFFF)));
    std::string candidate = base + num + ".tmp";
    int fd = ::open(candidate.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      path = candidate;
      return ERROR_SUCCESS;
    }
    if (errno != EEXIST) return errno == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
  }
  return 80;  // ERROR_FILE_EXISTS
}

int CreatePrivateFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0600);
  // A file that existed keeps its mode through O_CREAT: make it private too.
  if (fd >= 0) ::fchmod(fd, 0600);
  return fd;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDirectories(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  return DirectoryExists(path);
}

}  // namespace win
