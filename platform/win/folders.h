#pragma once
// Per-user folders and temporary files. With $VLR_HOME set (tests and demos), everything lives
// under it; otherwise under the XDG folders.
#include <string>
#include <string_view>

#include "platform/win/hresult.h"

namespace win {

// $VLR_HOME/config, else $XDG_CONFIG_HOME/vellora (~/.config/vellora). Created when missing.
std::string ConfigFolder();
// $VLR_HOME/data, else $XDG_DATA_HOME/vellora (~/.local/share/vellora). Created when missing.
// It stands for the user's application-data folder.
std::string AppDataFolder();
// $TMPDIR, else /tmp; with a trailing "/", as the platform gives it.
std::string TempFolder();

// Creates a new empty file `dir` + first three characters of `prefix` + unique hex + ".tmp",
// mode 0600, and returns its path. ERROR_SUCCESS or an error number.
LONG GetTempFileName(std::string_view dir, std::string_view prefix, std::string& path);
// Opens (creating or truncating) a file for writing with mode 0600. Returns a descriptor or -1.
int CreatePrivateFile(const std::string& path);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Creates the folder and every missing parent. True when it exists afterwards.
bool CreateDirectories(const std::string& path);

}  // namespace win
