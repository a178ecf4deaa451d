#pragma once
// Temporary files as the whole system makes them: a unique name in the temporary folder with
// the prefix "ATgn" (the platform keeps "ATg", adds a unique number and ".tmp"), then the
// caller's pattern applied:
//   no pattern      the created "....tmp" file itself;
//   "%" in pattern  the created file is deleted; the pattern is formatted with its bare name
//                   (no folder, no ".tmp") and put in the temporary folder;
//   otherwise       the created file is deleted and ".tmp" is replaced by the pattern (".xml").
#include <string>
#include <string_view>

#include "platform/win/hresult.h"

// Returns 0 or an error number (never throws).
LONG MakeTempFile(std::string_view pattern, std::string& path);

// A temporary file that deletes itself unless released.
class TempFile {
 public:
  TempFile() = default;
  explicit TempFile(std::string path) : path_(std::move(path)) {}
  ~TempFile();
  TempFile(TempFile&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
  TempFile& operator=(TempFile&& other) noexcept;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Makes a new temporary file name (see MakeTempFile); the previous file is deleted.
  LONG Make(std::string_view pattern = {});
  const std::string& Path() const { return path_; }
  std::string Release();
  void Remove();

 private:
  std::string path_;
};
