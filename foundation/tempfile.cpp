#include "foundation/tempfile.h"

#include <cstdio>
#include <string>

#include "platform/win/folders.h"

LONG MakeTempFile(std::string_view pattern, std::string& path) {
  const std::string dir = win::TempFolder();
  std::string made;
  if (LONG err = win::GetTempFileName(dir, "ATgn", made); err != ERROR_SUCCESS) return err;
  if (pattern.empty()) {
    path = made;
    return ERROR_SUCCESS;
  }
  std::remove(made.c_str());
  std::string bare = made.substr(made.find_last_of('/') + 1);
  bare.erase(bare.size() - 4);  // ".tmp"
  if (pattern.find('%') != std::string_view::npos) {
    // The pattern is the caller's fixed format with one %s; format it ourselves so that a
    // stray conversion can never read past the arguments.
    std::string name;
    const std::string p(pattern);
    for (size_t i = 0; i < p.size(); ++i) {
      if (p[i] == '%' && i + 1 < p.size() && p[i + 1] == 's') {
        name += bare;
        ++i;
      } else if (p[i] == '%' && i + 1 < p.size() && p[i + 1] == '%') {
        name += '%';
        ++i;
      } else {
        name += p[i];
      }
    }
    path = dir + name;
  } else {
    path = made.substr(0, made.size() - 4) + std::string(pattern);
  }
  return ERROR_SUCCESS;
}

TempFile::~TempFile() { Remove(); }

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    Remove();
    path_ = std::move(other.path_);
    other.path_.clear();
  }
  return *this;
}

LONG TempFile::Make(std::string_view pattern) {
  Remove();
  return MakeTempFile(pattern, path_);
}

std::string TempFile::Release() {
  std::string p = std::move(path_);
  path_.clear();
  return p;
}

void TempFile::Remove() {
  if (!path_.empty()) std::remove(path_.c_str());
  path_.clear();
}
