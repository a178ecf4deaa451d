#include "platform/outlook/mime.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>

#include "platform/com/variant.h"
#include "platform/win/guid.h"
#include "platform/win/text.h"

namespace outlook {
namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Base64 with CRLF after every 76 characters, fed in pieces.
class Base64Lines {
 public:
  explicit Base64Lines(const ChunkSink& out) : out_(out) {}

  void Add(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
      held_[heldCount_++] = static_cast<unsigned char>(data[i]);
      if (heldCount_ == 3) {
        Emit(3);
        heldCount_ = 0;
      }
    }
    Flush(false);
  }

  void Finish() {
    if (heldCount_) Emit(heldCount_);
    heldCount_ = 0;
    Flush(true);
  }

 private:
  void Emit(int n) {
    unsigned v = held_[0] << 16 | (n > 1 ? held_[1] << 8 : 0) | (n > 2 ? held_[2] : 0);
    char quad[4] = {kBase64[v >> 18 & 63], kBase64[v >> 12 & 63], n > 1 ? kBase64[v >> 6 & 63] : '=',
                    n > 2 ? kBase64[v & 63] : '='};
    for (char c : quad) {
      line_.push_back(c);
      if (line_.size() == 76) {
        buffer_ += line_;
        buffer_ += "\r\n";
        line_.clear();
      }
    }
  }

  void Flush(bool end) {
    if (end && !line_.empty()) {
      buffer_ += line_;
      buffer_ += "\r\n";
      line_.clear();
    }
    if (buffer_.size() >= 64 * 1024 || (end && !buffer_.empty())) {
      out_(buffer_.data(), buffer_.size());
      buffer_.clear();
    }
  }

  const ChunkSink& out_;
  unsigned char held_[3] = {};
  int heldCount_ = 0;
  std::string line_;
  std::string buffer_;
};

std::string Base64(const std::string& data) {
  std::string out;
  ChunkSink sink = [&](const char* d, std::size_t n) { out.append(d, n); };
  Base64Lines lines(sink);
  lines.Add(data.data(), data.size());
  lines.Finish();
  return out;
}

// Quoted-printable (RFC 2045) with CRLF line breaks; soft breaks keep lines under 77.
std::string QuotedPrintable(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out, line;
  auto push = [&](const std::string& piece) {
    if (line.size() + piece.size() > 75) {
      out += line + "=\r\n";
      line.clear();
    }
    line += piece;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (c == '\n') {
      // Blanks before a line break must be encoded or they would be lost.
      if (!line.empty() && (line.back() == ' ' || line.back() == '\t')) {
        char last = line.back();
        line.pop_back();
        line += std::string("=") + kHex[last >> 4] + kHex[last & 15];
      }
      out += line + "\r\n";
      line.clear();
      continue;
    }
    if ((c >= 33 && c <= 126 && c != '=') || c == ' ' || c == '\t')
      push(std::string(1, static_cast<char>(c)));
    else
      push(std::string("=") + kHex[c >> 4] + kHex[c & 15]);
  }
  if (!line.empty() && (line.back() == ' ' || line.back() == '\t')) {
    char last = line.back();
    line.pop_back();
    line += std::string("=") + kHex[last >> 4] + kHex[last & 15];
  }
  out += line;
  return out;
}

bool PlainAscii(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) > 126 || (static_cast<unsigned char>(c) < 32 && c != '\t')) return false;
  return true;
}

std::string NewBoundary() {
  std::string g = win::GuidToString(win::NewGuid());
  std::string hex;
  for (char c : g)
    if (c != '{' && c != '}' && c != '-') hex += c;
  return "----=_Part_" + hex;
}

// RFC 2231 parameter for a file name that is not plain ASCII.
std::string FileNameParams(const std::string& name) {
  if (PlainAscii(name) && name.find('"') == std::string::npos && name.find('\\') == std::string::npos)
    return "filename=\"" + name + "\"";
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "filename*=UTF-8''";
  for (unsigned char c : name) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
        c == '_')
      out += static_cast<char>(c);
    else
      out += std::string("%") + kHex[c >> 4] + kHex[c & 15];
  }
  return out;
}

std::string NameParam(const std::string& name) {
  return PlainAscii(name) && name.find('"') == std::string::npos ? "name=\"" + name + "\""
                                                                   : "name=\"" + EncodeHeaderText(name) + "\"";
}

// The body part; inside a multipart the line break before the next boundary belongs to that
// boundary, so only a message that is nothing but its body ends with one of its own.
void WriteBody(const MimeMessage& m, const ChunkSink& out, bool whole) {
  auto put = [&](const std::string& s) { out(s.data(), s.size()); };
  if (m.htmlBody.empty()) {
    put("Content-Type: text/plain; charset=\"utf-8\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n");
    put(QuotedPrintable(m.textBody));
    if (whole) put("\r\n");
    return;
  }
  std::string boundary = NewBoundary();
  put("Content-Type: multipart/alternative;\r\n boundary=\"" + boundary + "\"\r\n\r\n");
  put("--" + boundary + "\r\n");
  put("Content-Type: text/plain; charset=\"utf-8\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n");
  put(QuotedPrintable(m.textBody));
  put("\r\n--" + boundary + "\r\n");
  put("Content-Type: text/html; charset=\"utf-8\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n");
  put(QuotedPrintable(m.htmlBody));
  put("\r\n--" + boundary + "--");
  if (whole) put("\r\n");
}

void WriteMessage(const MimeMessage& m, const ChunkSink& out) {
  auto put = [&](const std::string& s) { out(s.data(), s.size()); };
  if (!m.from.empty()) put("From: " + m.from + "\r\n");
  if (!m.to.empty()) put("To: " + m.to + "\r\n");
  if (!m.cc.empty()) put("Cc: " + m.cc + "\r\n");
  put("Subject: " + EncodeHeaderText(m.subject) + "\r\n");
  if (!m.date.empty()) put("Date: " + m.date + "\r\n");
  std::string id = NewBoundary().substr(11);
  put("Message-ID: <" + id + "@localhost>\r\n");
  for (const auto& [name, value] : m.extraHeaders) put(name + ": " + EncodeHeaderText(value) + "\r\n");
  put("MIME-Version: 1.0\r\n");
  if (m.attachments.empty()) {
    WriteBody(m, out, true);
    return;
  }
  std::string boundary = NewBoundary();
  put("Content-Type: multipart/mixed;\r\n boundary=\"" + boundary + "\"\r\n\r\n");
  put("This is a multi-part message in MIME format.\r\n\r\n");
  put("--" + boundary + "\r\n");
  WriteBody(m, out, false);
  for (const MimeAttachment& a : m.attachments) {
    put("\r\n--" + boundary + "\r\n");
    put("Content-Type: " + ContentTypeOf(a.fileName) + ";\r\n " + NameParam(a.fileName) + "\r\n");
    put("Content-Transfer-Encoding: base64\r\n");
    put("Content-Disposition: attachment;\r\n " + FileNameParams(a.fileName) + "\r\n\r\n");
    Base64Lines lines(out);
    if (a.content) a.content([&](const char* d, std::size_t n) { lines.Add(d, n); });
    lines.Finish();
  }
  put("\r\n--" + boundary + "--\r\n");
}

HRESULT FromErrno(int err) { return HRESULT_FROM_WIN32(err == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED); }

}  // namespace

std::string EncodeHeaderText(const std::string& text) {
  if (PlainAscii(text)) return text;
  // Encoded words of at most 45 input bytes, never splitting a UTF-8 sequence.
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = std::min(text.size(), pos + 45);
    while (end < text.size() && end > pos && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    std::string b64 = Base64(text.substr(pos, end - pos));
    while (!b64.empty() && (b64.back() == '\n' || b64.back() == '\r')) b64.pop_back();
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + b64 + "?=";
    pos = end;
  }
  return out;
}

std::string FormatAddress(const std::string& name, const std::string& address) {
  if (name.empty() || name == address) return "<" + address + ">";
  bool plain = PlainAscii(name);
  std::string shown;
  if (!plain) {
    shown = EncodeHeaderText(name);
  } else {
    shown = "\"";
    for (char c : name) {
      if (c == '"' || c == '\\') shown += '\\';
      shown += c;
    }
    shown += "\"";
  }
  return shown + " <" + address + ">";
}

std::string RfcDate(double oleDateLocal) {
  static const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::time_t localSeconds = com::TimeFromOleDate(oleDateLocal);
  std::tm probe{};
  localtime_r(&localSeconds, &probe);
  std::time_t utc = localSeconds - probe.tm_gmtoff;
  std::tm local{};
  localtime_r(&utc, &local);
  long offset = local.tm_gmtoff / 60;
  char sign = offset < 0 ? '-' : '+';
  if (offset < 0) offset = -offset;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[local.tm_wday], local.tm_mday,
                kMonths[local.tm_mon], local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec, sign,
                offset / 60, offset % 60);
  return buf;
}

std::string ContentTypeOf(const std::string& fileName) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {"pdf", "application/pdf"},
      {"txt", "text/plain"},
      {"htm", "text/html"},
      {"html", "text/html"},
      {"xml", "application/xml"},
      {"png", "image/png"},
      {"jpg", "image/jpeg"},
      {"jpeg", "image/jpeg"},
      {"gif", "image/gif"},
      {"doc", "application/msword"},
      {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
      {"xls", "application/vnd.ms-excel"},
      {"ppt", "application/vnd.ms-powerpoint"},
  };
  std::size_t dot = fileName.rfind('.');
  if (dot != std::string::npos) {
    std::string ext = win::AsciiLower(fileName.substr(dot + 1));
    for (const auto& [e, type] : kTypes)
      if (ext == e) return type;
  }
  return "application/octet-stream";
}

std::string HtmlToText(const std::string& html) {
  std::string out;
  std::size_t i = 0;
  auto skipBlock = [&](const char* closing) {
    std::size_t end = win::AsciiLower(html).find(closing, i);
    i = end == std::string::npos ? html.size() : end + std::char_traits<char>::length(closing);
  };
  while (i < html.size()) {
    char c = html[i];
    if (c == '<') {
      std::size_t close = html.find('>', i);
      if (close == std::string::npos) break;
      std::string tag = win::AsciiLower(html.substr(i + 1, close - i - 1));
      i = close + 1;
      std::string name = tag.substr(0, tag.find_first_of(" \t\r\n/", tag[0] == '/' ? 1 : 0));
      if (name == "head" || name == "style" || name == "script") {
        skipBlock(("</" + name + ">").c_str());
      } else if (name == "br" || name == "br/" || name == "/p" || name == "/div" || name == "/tr" || name == "/li" ||
                 name == "/h1" || name == "/h2" || name == "/h3") {
        out += "\n";
      }
      continue;
    }
    if (c == '&') {
      static const std::pair<const char*, const char*> kEntities[] = {
          {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&apos;", "'"}, {"&nbsp;", " "}};
      bool matched = false;
      for (const auto& [entity, text] : kEntities) {
        std::size_t n = std::char_traits<char>::length(entity);
        if (html.compare(i, n, entity) == 0) {
          out += text;
          i += n;
          matched = true;
          break;
        }
      }
      if (matched) continue;
    }
    if (c != '\r' && c != '\n') out += c;
    else if (c == '\n' && !out.empty() && out.back() != '\n' && out.back() != ' ') out += ' ';
    ++i;
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

std::string TextToHtml(const std::string& text) {
  std::string out = "<html><body>";
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\r': break;
      case '\n': out += "<br>\n"; break;
      default: out += c;
    }
  }
  return out + "</body></html>";
}

std::string MimeText(const MimeMessage& message) {
  std::string out;
  WriteMessage(message, [&](const char* d, std::size_t n) { out.append(d, n); });
  return out;
}

HRESULT WriteMimeFile(const MimeMessage& message, const std::string& path) {
  std::string temp = path + ".part-" + std::to_string(::getpid());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return FromErrno(errno);
  bool ok = true;
  int err = 0;
  std::string buffer;
  auto flush = [&] {
    std::size_t done = 0;
    while (ok && done < buffer.size()) {
      ssize_t n = ::write(fd, buffer.data() + done, buffer.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        ok = false;
        err = errno;
      } else {
        done += static_cast<std::size_t>(n);
      }
    }
    buffer.clear();
  };
  try {
    WriteMessage(message, [&](const char* d, std::size_t n) {
      buffer.append(d, n);
      if (buffer.size() >= 256 * 1024) flush();
    });
  } catch (...) {
    ::close(fd);
    ::unlink(temp.c_str());
    throw;  // the attachment reader's failure belongs to the caller
  }
  flush();
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    return FromErrno(err);
  }
  return S_OK;
}

}  // namespace outlook
