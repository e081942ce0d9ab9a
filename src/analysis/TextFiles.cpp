#include "analysis/TextFiles.h"

#include "app/Platform.h"
#include "base/UiServices.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <ctype.h>
#include <locale.h>
#include <string.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

namespace morvanta {

namespace {

[[nodiscard]] std::string ErrorText(int errorCode)
{
    return std::strerror(errorCode);
}

[[noreturn]] void ThrowFileError(const char* what, const std::string& path, int errorCode)
{
    throw InOutError(std::string(what) + " \"" + path + "\". " + ErrorText(errorCode), errorCode);
}

// Writes all of the bytes; false with errno set on failure.
[[nodiscard]] bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

// Every line break (CR LF, lone LF, lone CR) becomes CR LF, and a final line
// without one gets one.
[[nodiscard]] std::string WithCrLfLineEnds(std::string_view text)
{
    std::string result;
    result.reserve(text.size() + text.size() / 32 + 2);
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char* lineEnd = p;
        while (lineEnd < end && *lineEnd != '\r' && *lineEnd != '\n')
            ++lineEnd;
        result.append(p, lineEnd);
        result += "\r\n";
        if (lineEnd == end)
            break;
        p = lineEnd + 1;
        if (*lineEnd == '\r' && p < end && *p == '\n')
            ++p;
    }
    return result;
}

// The user's collation and letter case, from the environment's locale
// settings (LC_ALL, LC_COLLATE / LC_CTYPE, LANG), whatever the process's
// global locale is; the "C" locale when those name none that is installed.
locale_t UserLocale()
{
    static const locale_t locale = [] {
        locale_t user = newlocale(LC_COLLATE_MASK | LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
        if (!user)
            user = newlocale(LC_COLLATE_MASK | LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
        return user;
    }();
    return locale;
}

// Case folding byte by byte: every letter of a single-byte locale, the
// letters A to Z of a multi-byte one.
[[nodiscard]] std::string FoldCase(std::string_view text, locale_t locale)
{
    std::string folded(text);
    for (char& c : folded)
        c = static_cast<char>(tolower_l(static_cast<unsigned char>(c), locale));
    return folded;
}

[[nodiscard]] int CompareFolded(const std::string& a, const std::string& b, locale_t locale)
{
    int order = strcoll_l(a.c_str(), b.c_str(), locale);
    if (order != 0)
        return order;
    // Collation may tie texts that differ (ignorable characters, or a NUL
    // byte ending the comparison early); such lines are distinct entries.
    return a.compare(b);
}

struct SortedLine {
    std::string text;
    std::string folded;
};

struct SortedLineOrder {
    locale_t locale;
    bool operator()(const SortedLine& a, const SortedLine& b) const
    {
        return CompareFolded(a.folded, b.folded, locale) < 0;
    }
};

// The file the path names: symbolic links are followed so that replacing
// the file keeps the link.
[[nodiscard]] std::string ResolvedPath(const std::string& path)
{
    struct stat info { };
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved))
        return path;
    return resolved;
}

// Writes the content to a new file beside the target and moves it over the
// target, keeping the target's permissions.
void ReplaceFile(const std::string& path, std::string_view content)
{
    static std::atomic<unsigned> counter { 0 };
    const std::string target = ResolvedPath(path);

    struct stat original { };
    const bool exists = stat(target.c_str(), &original) == 0;

    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temporary = target + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt >= 100))
            ThrowFileError("Cannot create file", path, errno);
    }

    int failure = 0;
    if (exists && fchmod(fd, original.st_mode & 07777) != 0)
        failure = errno;
    if (failure == 0 && !WriteAll(fd, content))
        failure = errno;
    if (failure == 0 && fsync(fd) != 0)
        failure = errno;
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && std::rename(temporary.c_str(), target.c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(temporary.c_str());
        ThrowFileError("Cannot write file", path, failure);
    }
}

} // namespace

bool AppendLineToFile(const std::string& path, std::string_view line)
{
    std::string record;
    record.reserve(line.size() + 2);
    record.append(line);
    record += "\r\n";

    bool ok = false;
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd >= 0) {
        // One write call, so that a line appended by another process is not
        // torn apart by ours.
        ok = WriteAll(fd, record);
        if (::close(fd) != 0)
            ok = false;
    }
    if (!ok)
        Ui().ShowMessage("Could not access " + path, "Access Error", MessageButtons::Ok, MessageIcon::None);
    return ok;
}

std::string ReadFileText(const std::string& path)
{
    if (!FileExists(path))
        return {};

    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        ThrowFileError("Cannot open file", path, errno);

    std::string raw;
    struct stat info { };
    if (fstat(fd, &info) == 0 && info.st_size > 0)
        raw.reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            int failure = errno;
            ::close(fd);
            ThrowFileError("Cannot read file", path, failure);
        }
        if (got == 0)
            break;
        raw.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    return WithCrLfLineEnds(raw);
}

void AddLineToSortedFile(const std::string& path, std::string_view line)
{
    locale_t locale = UserLocale();
    std::set<SortedLine, SortedLineOrder> lines(SortedLineOrder { locale });

    // Inserting keeps the first of several equal lines.
    auto add = [&](std::string_view text) { lines.insert(SortedLine { std::string(text), FoldCase(text, locale) }); };

    const std::string existing = ReadFileText(path);
    std::string_view rest = existing;
    while (!rest.empty()) {
        size_t lineEnd = rest.find("\r\n");
        if (lineEnd == std::string_view::npos) {
            add(rest);
            break;
        }
        add(rest.substr(0, lineEnd));
        rest.remove_prefix(lineEnd + 2);
    }
    add(line);

    std::string content;
    for (const SortedLine& entry : lines) {
        content += entry.text;
        content += "\r\n";
    }
    ReplaceFile(path, content);
}

bool MatchesMask(std::string_view name, std::string_view mask)
{
    size_t n = 0;
    size_t m = 0;
    size_t starMask = std::string_view::npos;
    size_t starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || mask[m] == name[n])) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

void DeleteMatchingFiles(const std::string& folder, const std::string& mask)
{
    if (folder.empty())
        return;

    // The search is the folder text directly followed by the mask: the mask
    // is whatever follows the last "/" of the joined text.
    const std::string search = folder + mask;
    const size_t slash = search.rfind('/');
    const std::string searchFolder = slash == std::string::npos ? std::string(".") : search.substr(0, slash + 1);
    const std::string pattern = slash == std::string::npos ? search : search.substr(slash + 1);

    std::vector<std::string> matches;
    if (DIR* dir = opendir(searchFolder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string_view name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            if (MatchesMask(name, pattern))
                matches.emplace_back(name);
        }
        closedir(dir);
    }

    const std::string deleteFolder = IncludeTrailingPathDelimiter(folder);
    for (const std::string& name : matches)
        ::unlink((deleteFolder + name).c_str());
}

} // namespace morvanta
