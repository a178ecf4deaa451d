#include "foundation/diaglog.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "foundation/xmlio.h"
#include "platform/win/folders.h"
#include "platform/win/process.h"
#include "platform/win/registry.h"

namespace {

constexpr const char* kAdvancedKey = "Software\\Attestra\\Attestra for Outlook\\Advanced";
constexpr size_t kFormatLimit = 1024;  // the platform formatter's limit

std::atomic<void (*)(const std::string&)> messageBoxHandler{nullptr};

bool ReadAdvanced(const char* name, DWORD& value) {
  win::RegKey key;
  return win::RegKey::Open(win::Hive::CurrentUser, kAdvancedKey, key) == ERROR_SUCCESS &&
         key.QueryDword(name, value) == ERROR_SUCCESS;
}

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
  char buf[4096];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return n < 0 ? std::string() : std::string(buf, std::min<size_t>(static_cast<size_t>(n), sizeof buf - 1));
}

bool IsConstantCode(HRESULT code) {
  static constexpr LONG kSystemErrors[] = {1,    2,    6,    15,   25,   27,   29,   30,   32,   33,   38,   50,
                                           67,   80,   86,   109,  122,  183,  233,  299,  1004, 1054, 1064, 1113,
                                           1115, 1223, 1229, 1232, 1314, 1315, 1317, 1319, 1323, 2202, 4002};
  for (LONG e : kSystemErrors)
    if (code == e) return true;
  const std::uint32_t u = static_cast<std::uint32_t>(code);
  switch (u) {
    case 0x00030200: case 0x80004002: case 0x80004005: case 0x80070005: case 0x8007000E: case 0x80070057:
    case 0x80030008: case 0x80030009: case 0x80030012: case 0x80030013: case 0x80030019: case 0x8003001D:
    case 0x8003001E: case 0x80030020: case 0x80030021: case 0x80030050: case 0x80030057: case 0x80030070:
      return true;
    default:
      break;
  }
  return (u >= 0x80030001 && u <= 0x80030006) || (u >= 0x800300FA && u <= 0x80030107);
}

}  // namespace

void SetDiagLogMessageBoxHandler(void (*handler)(const std::string&)) { messageBoxHandler = handler; }

CDiagLog& CDiagLog::Instance() {
  static CDiagLog log;
  return log;
}

CDiagLog::CDiagLog() {
  DWORD diagnose = 0;
  if (!ReadAdvanced("Diagnose", diagnose) || diagnose != 1) return;
  enabled_ = true;
  DWORD extra = 0;
  if (ReadAdvanced("Flags", extra)) flags_ |= extra;
  if (flags_ & kFile) StartFile();
  levels_ = 15;
}

CDiagLog::~CDiagLog() {
  if (!enabled_) return;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if ((flags_ & kFile) && (flags_ & kXmlForm)) WriteFile("</Diagnostics>\n");
  enabled_ = false;
}

void CDiagLog::StartFile() {
  if (started_) return;
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  gmtime_r(&now, &t);
  const std::string stamp = Printf("%02d-%02d-%d %02d %02d %02d", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900,
                                   t.tm_hour, t.tm_min, t.tm_sec);
  // Two runs started within the same second must not share (and corrupt) one file: the
  // second takes a numbered name.
  int fd = -1;
  for (int n = 1; n < 1000 && fd < 0; ++n) {
    std::string name = n == 1 ? stamp : Printf("%s-%d", stamp.c_str(), n);
    path_ = win::TempFolder() + "vlrDebug (" + name + ").xml";
    fd = ::open(path_.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    path_.clear();
    return;
  }
  const std::string header = Printf(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Diagnostics><time>%02d/%02d/%d (%02d:%02d:%02d)</time>\n",
      t.tm_mon + 1, t.tm_mday, t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
  bool ok = ::write(fd, header.data(), header.size()) == static_cast<ssize_t>(header.size());
  ::close(fd);
  started_ = ok;
}

void CDiagLog::WriteFile(std::string_view text) {
  if (!started_) return;
  int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return;
  ssize_t ignored = ::write(fd, text.data(), text.size());
  (void)ignored;
  ::close(fd);
}

void CDiagLog::Write(std::uint32_t level, const Forms& forms) {
  if (!(levels_ & level)) return;
  if ((flags_ & (kFile | kXmlForm)) == (kFile | kXmlForm)) WriteFile(forms.file);
  if ((flags_ & kConsole) == kConsole) {
    std::fwrite(forms.console.data(), 1, forms.console.size(), stderr);
    std::fflush(stderr);
  }
  if ((flags_ & kMessageBox) == kMessageBox) {
    if (auto handler = messageBoxHandler.load()) handler(forms.box);
  }
}

void CDiagLog::Enter(std::string_view name) {
  if (!enabled_ || !(levels_ & kBlocks)) return;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  const std::string n(name);
  Write(kBlocks, {"<block_enter>" + XmlEscape(n) + "</block_enter>", n + " {\n", Printf("Entering %s!", n.c_str())});
  ++depth_;
}

void CDiagLog::Leave(std::string_view name) {
  if (!enabled_ || !(levels_ & kBlocks)) return;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  --depth_;
  const std::string n(name);
  Write(kBlocks, {"<block_exit>" + XmlEscape(n) + "</block_exit>", "} " + n, Printf("Exiting %s!", n.c_str())});
}

void CDiagLog::Error(std::string_view text) {
  if (!enabled_ || !(levels_ & kErrors)) return;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  const std::string t(text);
  Write(kErrors, {"<error><details>" + XmlEscape(t) + "</details></error>\n", "ERROR: " + t + "!\n",
                  Printf("ERROR: %s!", t.c_str())});
}

void CDiagLog::ErrorCode(std::string_view name, HRESULT code) {
  if (!enabled_ || code == 0) return;
  const std::string n(name);
  Error(Printf("Error in %s, %s (%#08x)\r\n", n.c_str(), ErrorClass(code), static_cast<unsigned>(code)));
}

void CDiagLog::LastError(std::string_view name) {
  if (!enabled_) return;
  const LONG err = win::GetLastError();
  const std::string n(name);
  Error(Printf("%s failed with error %d: %s", n.c_str(), err, win::SystemMessage(err).c_str()));
}

void CDiagLog::Warning(std::string_view text) {
  if (!enabled_ || !(levels_ & kWarnings)) return;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  const std::string t(text);
  Write(kWarnings, {"<warning><details>" + XmlEscape(t) + "</details></warning>\n", "WARNING: " + t + "\n",
                    Printf("WARNING: %s", t.c_str())});
}

void CDiagLog::Comment(std::string_view text) {
  if (!enabled_ || !(levels_ & kComments)) return;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  const std::string t(text);
  Write(kComments, {"<comment>" + XmlEscape(t) + "</comment>\n", "Comment: " + t + "\n", t});
}

void CDiagLog::CommentText(const char* format, const char* text) {
  if (!enabled_ || !format || !text) return;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (std::strlen(format) + std::strlen(text) > kFormatLimit)
    Warning("The follow comment might be truncated due to wsprintf limitation");
  if (!(levels_ & kComments)) return;
  std::string formatted;
  // Only the caller's fixed formats reach here, each with one %s.
  const char* at = std::strstr(format, "%s");
  formatted = at ? std::string(format, at) + text + (at + 2) : std::string(format);
  if (formatted.size() > kFormatLimit) formatted.resize(kFormatLimit);
  Comment(formatted);
}

void CDiagLog::CommentNumber(const char* format, long number) {
  if (!enabled_ || !format) return;
  std::string f = format;
  // The formats carry one %d (or the platform's %l): print the 32-bit number there.
  for (const char* spec : {"%d", "%ld", "%l", "%i"}) {
    if (auto at = f.find(spec); at != std::string::npos) {
      f.replace(at, std::strlen(spec), std::to_string(static_cast<std::int32_t>(number)));
      break;
    }
  }
  Comment(f);
}

const char* CDiagLog::ErrorClass(HRESULT code) {
  if (static_cast<std::uint32_t>(code) == 0x800106BE) return "RPC Error - RPC_S_CALL_FAILED";
  return IsConstantCode(code) ? "E_CONSTANT" : "UNKNOWN";
}
