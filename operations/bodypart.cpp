#include "operations/bodypart.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "foundation/dispatcher.h"
#include "foundation/guard.h"
#include "foundation/tempfile.h"
#include "platform/com/dispatchobject.h"
#include "platform/win/folders.h"

namespace {

std::size_t CountCharacters(std::string_view text) {
  std::size_t n = 0;
  for (const char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

class FileAttachment : public com::DispatchObject {
 public:
  explicit FileAttachment(std::string path) : path_(std::move(path)) {
    Property("FileName", [this] { return BaseName(); });
    Property("DisplayName", [this] { return BaseName(); });
    Property("PathName", [this] { return path_; });
    Method("SaveAsFile", 1, 1, [this](const com::DispParams& a) -> void {
      if (!CopyFileContent(path_, a.Text(0))) com::Throw(E_FAIL);
    });
  }

 private:
  std::string BaseName() const {
    const auto slash = path_.rfind('/');
    return slash == std::string::npos ? path_ : path_.substr(slash + 1);
  }

  std::string path_;
};

class MessageItem : public com::DispatchObject {
 public:
  MessageItem(std::string body, std::string html, std::int32_t format)
      : body_(std::move(body)), html_(std::move(html)), format_(format) {
    Property("Body", [this] { return body_; });
    Property("HTMLBody", [this] { return html_; });
    Property("BodyFormat", [this] { return format_; });
  }

 private:
  std::string body_, html_;
  std::int32_t format_;
};

}  // namespace

CBodyPart::CBodyPart(com::ComPtr<IDispatch> item, std::string name, std::string label, std::int32_t bodyFormat)
    : Item(std::move(item)), Name(std::move(name)), Label(std::move(label)), BodyFormat(bodyFormat) {
  const auto dot = Name.rfind('.');
  Extension = dot == std::string::npos ? "pdf" : Name.substr(dot + 1);
}

CBodyPart::~CBodyPart() { DropLocalFile(); }

void CBodyPart::DropLocalFile() {
  if (!LocalPath.empty()) std::remove(LocalPath.c_str());
  LocalPath.clear();
}

bool CBodyPart::SaveContent(bool asBody, bool allowHtml, std::string_view prefix, std::size_t* length) {
  TempFile file;
  const HRESULT hr = Guarded("CBodyPart::SaveContent", [&] {
    const bool html = asBody && allowHtml && BodyFormat == kFormatHtml;
    CheckTrue(file.Make(html ? ".htm" : "") == ERROR_SUCCESS);
    if (!asBody) {
      Check(CDispatcher::CallMethod(Item.Get(), "SaveAsFile", {com::Variant(file.Path())}));
      return;
    }
    if (html) Extension = "htm";
    std::string text;
    Check(CDispatcher::GetProp(Item.Get(), html ? "HTMLBody" : "Body", text));
    if (length) *length = CountCharacters(text);
    if (text.empty() && !length) text = sendtext::kMessageUnspecified;
    const int fd = win::CreatePrivateFile(file.Path());
    CheckTrue(fd >= 0);
    const bool written = WriteAll(fd, prefix) && WriteAll(fd, text);
    const bool closed = ::close(fd) == 0;
    CheckTrue(written && closed);
  });
  if (FAILED(hr)) return false;
  DropLocalFile();
  LocalPath = file.Release();
  return true;
}

com::ComPtr<IDispatch> MakeFileAttachment(std::string path) {
  return com::Make<FileAttachment>(std::move(path));
}

com::ComPtr<IDispatch> MakeMessageItem(std::string body, std::string htmlBody, std::int32_t bodyFormat) {
  return com::Make<MessageItem>(std::move(body), std::move(htmlBody), bodyFormat);
}

bool CopyFileContent(const std::string& source, const std::string& target) {
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  const int out = win::CreatePrivateFile(target);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  // The kernel copies (or shares extents) without passing the bytes through this process.
  for (;;) {
    const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, std::size_t{1} << 30, 0);
    if (n == 0) break;
    if (n > 0) continue;
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
      ok = false;
      break;
    }
    // Not possible between these files: copy through a buffer from where it stopped.
    char buffer[1 << 16];
    for (;;) {
      const ssize_t r = ::read(in, buffer, sizeof buffer);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) ok = false;
      if (r <= 0) break;
      if (!WriteAll(out, std::string_view(buffer, static_cast<std::size_t>(r)))) {
        ok = false;
        break;
      }
    }
    break;
  }
  ::close(in);
  if (::close(out) != 0) ok = false;
  if (!ok) std::remove(target.c_str());
  return ok;
}
