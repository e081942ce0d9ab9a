#include "analysis/TextFiles.h"

#include "base/Files.h"
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
        ok = WriteAllBytes(fd, record);
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
    return WithCrLfLineEnds(ReadWholeFile(path).value_or(std::string()));
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
    ReplaceFileContent(path, content);
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
