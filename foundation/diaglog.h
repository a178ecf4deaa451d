#pragma once
// The diagnostic log: one per deliverable, off unless "Diagnose" is 1 under the settings key's
// "Advanced" subkey. When on, an XML file "vlrDebug (date time).xml" in the temporary folder,
// a plain-text echo on standard error and, with flag 32, message boxes.
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/win/hresult.h"

class CDiagLog {
 public:
  // Output flag bits.
  static constexpr std::uint32_t kXmlForm = 1, kFile = 8, kConsole = 16, kMessageBox = 32;
  static constexpr std::uint32_t kDefaultFlags = 409;  // 0x199
  // Level bits.
  static constexpr std::uint32_t kErrors = 1, kWarnings = 2, kComments = 4, kBlocks = 8;

  CDiagLog();  // reads "Diagnose" and "Flags"; starts the file when enabled
  ~CDiagLog();  // writes the closing tag
  CDiagLog(const CDiagLog&) = delete;
  CDiagLog& operator=(const CDiagLog&) = delete;

  // The running deliverable's log, created on first use.
  static CDiagLog& Instance();

  void Enter(std::string_view name);
  void Leave(std::string_view name);
  void Error(std::string_view text);
  void ErrorCode(std::string_view name, HRESULT code);
  void LastError(std::string_view name);
  void Warning(std::string_view text);
  void Comment(std::string_view text);
  // `format` is a printf format with one %s (or %d for CommentNumber).
  void CommentText(const char* format, const char* text);
  void CommentNumber(const char* format, long number);

  bool IsEnabled() const { return enabled_; }
  std::uint32_t Flags() const { return flags_; }
  const std::string& FilePath() const { return path_; }
  int Depth() const { return depth_; }

  // "E_CONSTANT", "RPC Error - RPC_S_CALL_FAILED" or "UNKNOWN".
  static const char* ErrorClass(HRESULT code);

 private:
  struct Forms {
    std::string file, console, box;
  };
  void StartFile();
  void Write(std::uint32_t level, const Forms& forms);
  void WriteFile(std::string_view text);

  std::string path_;
  bool started_ = false;
  int depth_ = 0;
  std::uint32_t levels_ = 15;
  std::uint32_t flags_ = kDefaultFlags;
  bool enabled_ = false;
  std::recursive_mutex lock_;
};

// Where message-box output goes; none (the default) drops it. See diaglogbox.h.
void SetDiagLogMessageBoxHandler(void (*handler)(const std::string&));

// Shorthand for the deliverable's log.
inline CDiagLog& DiagLog() { return CDiagLog::Instance(); }
