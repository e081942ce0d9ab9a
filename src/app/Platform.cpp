#include "app/Platform.h"

#include "base/Files.h"

#include <fcntl.h>
#include <malloc.h>
#include <pwd.h>
#include <semaphore.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace morvanta {

namespace {

std::string& ProgramFolderOverride()
{
    static std::string folder;
    return folder;
}

std::string ExecutableFolder()
{
    std::error_code error;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return IncludeTrailingPathDelimiter(std::filesystem::current_path().string());
    return IncludeTrailingPathDelimiter(exe.parent_path().string());
}

std::string HomeFromPasswordDatabase()
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry {};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir)
        return {};
    return found->pw_dir;
}

} // namespace

std::string GetProgramFolder()
{
    const std::string& chosen = ProgramFolderOverride();
    if (!chosen.empty())
        return chosen;
    return ExecutableFolder();
}

void SetProgramFolder(const std::string& folder)
{
    if (folder.empty()) {
        ProgramFolderOverride().clear();
        return;
    }
    std::error_code error;
    auto absolute = std::filesystem::absolute(folder, error);
    ProgramFolderOverride() = IncludeTrailingPathDelimiter(error ? folder : absolute.lexically_normal().string());
}

std::string GetSpecialFolder(int identifier)
{
    if (identifier != CSIDL_APPDATA)
        return {};
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/')
        return IncludeTrailingPathDelimiter(config);
    std::string home = HomeFromPasswordDatabase();
    if (home.empty() || home[0] != '/')
        return {};
    return IncludeTrailingPathDelimiter(home) + ".config/";
}

std::string GetWindowsDir()
{
    std::string folder = GetProgramFolder();
    if (DirectoryExists(folder))
        return IncludeTrailingPathDelimiter(folder);
    while (!folder.empty() && folder.back() == '/')
        folder.pop_back();
    return folder;
}

void CreateInstanceMutex(const std::string& name)
{
    // Semaphores stay open until the process ends, as the handles would.
    mode_t previous = umask(0);
    for (const std::string& full : { "/" + name, "/Global\\" + name }) {
        sem_t* semaphore = sem_open(full.c_str(), O_CREAT, 0666, 1);
        (void)semaphore;
    }
    umask(previous);
}

void TrimWorkingSet()
{
    malloc_trim(0);
}

} // namespace morvanta
