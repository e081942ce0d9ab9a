#pragma once

#include <string>

// The few services of the operating system that start-up and configuration
// need, named as the program's routines know them.
namespace morvanta {

// The shell folder of the user's application data.
inline constexpr int CSIDL_APPDATA = 26;

// The folder of the running program, with a trailing "/". The command-line
// tool may point it elsewhere with SetProgramFolder.
[[nodiscard]] std::string GetProgramFolder();
void SetProgramFolder(const std::string& folder);

// The folder behind a shell folder identifier, with a trailing "/", or empty
// when it cannot be found. CSIDL_APPDATA is $XDG_CONFIG_HOME (when it is an
// absolute path), else the home folder from the password database followed
// by ".config/".
[[nodiscard]] std::string GetSpecialFolder(int identifier);

// The fallback folder for per-user settings when there is no home: the
// program folder, with a trailing "/" when it exists.
[[nodiscard]] std::string GetWindowsDir();

// Marks the running program for other processes: one named semaphore with
// the name and one with "Global\" before it, both open to every user. The
// results are not examined.
void CreateInstanceMutex(const std::string& name);

// Gives memory the program no longer uses back to the system.
void TrimWorkingSet();

} // namespace morvanta
