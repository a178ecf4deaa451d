#include "platform/win/process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace win {
namespace {

thread_local LONG lastError = 0;

LONG ErrnoToWin32(int e) {
  switch (e) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case EACCES: case EPERM: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case ENOEXEC: return 193;  // ERROR_BAD_EXE_FORMAT
    default: return e;
  }
}

// Forks a grandchild that execs `argv`, so that the started program is detached from us
// (re-parented, never a zombie of ours). The exec outcome comes back over a close-on-exec pipe.
bool SpawnDetached(const std::vector<std::string>& argv) {
  if (argv.empty()) {
    lastError = ERROR_INVALID_PARAMETER;
    return false;
  }
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    lastError = ErrnoToWin32(errno);
    return false;
  }
  pid_t child = fork();
  if (child < 0) {
    lastError = ErrnoToWin32(errno);
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (child == 0) {
    close(fds[0]);
    setsid();
    pid_t grandchild = fork();
    if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // The program gets /dev/null as standard input and no second descriptor of it.
    int devnull = open("/dev/null", O_RDONLY);
    if (devnull > STDIN_FILENO) {
      dup2(devnull, STDIN_FILENO);
      close(devnull);
    }
    execvp(args[0], args.data());
    int err = errno;
    ssize_t ignored = write(fds[1], &err, sizeof err);
    (void)ignored;
    _exit(127);
  }
  close(fds[1]);
  int status = 0;
  waitpid(child, &status, 0);
  int err = 0;
  ssize_t n;
  do {
    n = read(fds[0], &err, sizeof err);
  } while (n < 0 && errno == EINTR);
  close(fds[0]);
  if (n == static_cast<ssize_t>(sizeof err)) {
    lastError = ErrnoToWin32(err);
    return false;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    lastError = ERROR_NOT_ENOUGH_MEMORY;
    return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> out;
  std::string current;
  bool inQuotes = false, have = false;
  for (char c : line) {
    if (c == '"') {
      inQuotes = !inQuotes;
      have = true;
    } else if ((c == ' ' || c == '\t') && !inQuotes) {
      if (have) out.push_back(current);
      current.clear();
      have = false;
    } else {
      current += c;
      have = true;
    }
  }
  if (have) out.push_back(current);
  return out;
}

bool CreateDetachedProcess(std::string_view commandLine) {
  return SpawnDetached(SplitCommandLine(commandLine));
}

bool OpenUrlInDefaultBrowser(std::string_view url) {
  const char* browser = std::getenv("BROWSER");
  std::vector<std::string> argv;
  if (browser && *browser) {
    // $BROWSER may list several commands separated by ":" (the first is taken), carry its
    // own arguments, and mark the URL's place with "%s".
    std::string cmd = browser;
    cmd = cmd.substr(0, cmd.find(':'));
    argv = SplitCommandLine(cmd);
    bool placed = false;
    for (std::string& a : argv) {
      if (auto at = a.find("%s"); at != std::string::npos) {
        a.replace(at, 2, url);
        placed = true;
      }
    }
    if (!placed) argv.emplace_back(url);
  } else {
    argv = {"xdg-open", std::string(url)};
  }
  return SpawnDetached(argv);
}

LONG GetLastError() { return lastError; }
void SetLastError(LONG error) { lastError = error; }

std::string SystemMessage(LONG error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND: return "The system cannot find the file specified.";
    case ERROR_PATH_NOT_FOUND: return "The system cannot find the path specified.";
    case ERROR_ACCESS_DENIED: return "Access is denied.";
    case ERROR_NOT_ENOUGH_MEMORY: return "Not enough memory resources are available to process this command.";
    case ERROR_CANCELLED: return "The operation was canceled by the user.";
    default: return std::strerror(static_cast<int>(error));
  }
}

}  // namespace win
