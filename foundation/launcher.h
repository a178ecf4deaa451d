#pragma once
// Hands work to other programs: a process from a command line, the web browser, and the other
// deliverables installed beside this one. A mix-in of each deliverable's application object.
#include <string>
#include <string_view>

#include "platform/win/hresult.h"

class CLauncher {
 public:
  virtual ~CLauncher() = default;

  // Nonzero when the process was started; the caller does not wait for it.
  static int LaunchProcess(std::string_view commandLine);
  // 0 or an error code. The ".htm" file type's "opennew" (else "open") command from
  // HKEY_CLASSES_ROOT, with "%1" replaced by the URL; the default browser when the
  // registry knows no such file type.
  static HRESULT LaunchBrowser(std::string_view url);
  // Starts `program` from the folder of `modulePath` with `arguments`.
  static int LaunchSibling(std::string_view modulePath, std::string_view program, std::string_view arguments);
};
