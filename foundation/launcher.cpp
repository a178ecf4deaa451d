#include "foundation/launcher.h"

#include "foundation/diaglog.h"
#include "foundation/guard.h"
#include "platform/win/process.h"
#include "platform/win/registry.h"

namespace {

// Quotes a path that holds blanks so that the command line splits it as one argument.
std::string QuoteIfNeeded(std::string_view path) {
  if (path.find_first_of(" \t") == std::string_view::npos) return std::string(path);
  return "\"" + std::string(path) + "\"";
}

}  // namespace

int CLauncher::LaunchProcess(std::string_view commandLine) {
  if (win::CreateDetachedProcess(commandLine)) return 1;
  DiagLog().Error("CvlrAddinApp::LaunchProcess: Create Process Failed");
  DiagLog().LastError("CvlrAddinApp::LaunchProcess");
  return 0;
}

HRESULT CLauncher::LaunchBrowser(std::string_view url) {
  CDiagLog& log = DiagLog();
  win::RegKey htm;
  if (win::RegKey::Open(win::Hive::ClassesRoot, ".htm", htm) != ERROR_SUCCESS) {
    // No file-type associations here: the platform's default browser opens it.
    log.Error("CvlrAddinApp::LaunchBrowser: .htm app not found");
    if (win::OpenUrlInDefaultBrowser(url)) return S_OK;
    log.Error("Exception thrown in CvlrAddinApp::LaunchBrowser");
    return E_FAIL;
  }
  HRESULT hr = Guarded("CvlrAddinApp::LaunchBrowser", [&] {
    std::string fileType;
    if (htm.QueryString("", fileType) != ERROR_SUCCESS || fileType.empty()) {
      log.Error("CvlrAddinApp::LaunchBrowser: .htm file type not found");
      Raise(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    }
    win::RegKey command;
    if (win::RegKey::Open(win::Hive::ClassesRoot, fileType + "\\shell\\opennew\\command", command) != ERROR_SUCCESS) {
      log.Warning("CvlrAddinApp::LaunchBrowser: open new cmd not found");
      if (win::RegKey::Open(win::Hive::ClassesRoot, fileType + "\\shell\\open\\command", command) != ERROR_SUCCESS) {
        log.Error("CvlrAddinApp::LaunchBrowser: open cmd not found");
        Raise(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
      }
    }
    std::string line;
    if (command.QueryString("", line) != ERROR_SUCCESS || line.empty()) {
      log.Error("CvlrAddinApp::LaunchBrowser: Browser not found");
      Raise(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    }
    log.Comment(line);
    if (auto at = line.find("%1"); at != std::string::npos)
      line.replace(at, 2, url);
    else
      line += " " + std::string(url);
    log.Comment(line);
    if (!LaunchProcess(line)) Raise(HRESULT_FROM_WIN32(win::GetLastError() ? win::GetLastError() : ERROR_FILE_NOT_FOUND));
  });
  if (FAILED(hr)) log.Error("Exception thrown in CvlrAddinApp::LaunchBrowser");
  return hr;
}

int CLauncher::LaunchSibling(std::string_view modulePath, std::string_view program, std::string_view arguments) {
  const auto slash = modulePath.find_last_of('/');
  const std::string folder = slash == std::string_view::npos ? std::string() : std::string(modulePath.substr(0, slash + 1));
  return LaunchProcess(QuoteIfNeeded(folder + std::string(program)) + " " + std::string(arguments));
}
