#include "operations/castlet.h"

#include <fcntl.h>
#include <unistd.h>

#include "foundation/diaglog.h"
#include "foundation/tempfile.h"

namespace {

constexpr const char* kSuffix = ".xml";

// Created private, or opened as it is: a piece made for an existing file (the send options)
// must not lose its content.
// A new temporary name is created exclusively, so that nobody can have put a file there first.
FilePtr OpenForWriting(const std::string& path, bool fresh) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (fresh ? O_EXCL : 0), 0600);
  if (fd < 0) return nullptr;
  FilePtr file(::fdopen(fd, "ab"));
  if (!file) ::close(fd);
  return file;
}

}  // namespace

CCastlet::CCastlet(std::string name, std::string path) : name_(std::move(name)), path_(std::move(path)) {
  const bool fresh = path_.empty();
  if (fresh) {
    if (MakeTempFile(kSuffix, path_) != ERROR_SUCCESS) {
      DiagLog().Error("CCastlet: no temporary file for a piece");
      path_.clear();
      return;
    }
  }
  file_ = OpenForWriting(path_, fresh);
  if (!file_) DiagLog().Error("CCastlet: cannot open " + path_);
}

CCastlet::CCastlet(std::string text, MarkerTag) : name_(std::move(text)), marker_(true) {}

std::unique_ptr<CCastlet> CCastlet::Marker(std::string text) {
  return std::unique_ptr<CCastlet>(new CCastlet(std::move(text), MarkerTag{}));
}

CCastlet::~CCastlet() {
  file_.reset();
  if (DeleteFlag && !path_.empty()) std::remove(path_.c_str());
}

HRESULT CCastlet::Close() {
  if (!file_) return S_OK;
  const bool flushed = std::fflush(file_.get()) == 0 && !std::ferror(file_.get());
  const bool closed = std::fclose(file_.release()) == 0;
  return flushed && closed ? S_OK : E_FAIL;
}
