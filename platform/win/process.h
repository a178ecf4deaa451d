#pragma once
// Starting other programs and the browser, the way the shell would.
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/hresult.h"

namespace win {

// Blanks separate arguments, double quotes group (and are removed), as a command line
// is split on Windows for plain arguments.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// Starts the command line as a detached process and does not wait for it. False (with the
// system error in GetLastError) when it could not be started, e.g. a missing program.
bool CreateDetachedProcess(std::string_view commandLine);

// Opens the URL with the user's default browser: $BROWSER when set, else xdg-open.
bool OpenUrlInDefaultBrowser(std::string_view url);

// The calling thread's last system error, and its text.
LONG GetLastError();
void SetLastError(LONG error);
std::string SystemMessage(LONG error);

}  // namespace win
