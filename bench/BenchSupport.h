#pragma once

// Helpers shared by the benchmark programs.

#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace morvanta::bench {

// A fresh folder in the temporary folder, removed with everything in it.
// Path() ends with "/".
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "morvanta-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        path_ = pattern + "/";
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    [[nodiscard]] const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// A file of the size and name in a folder of its own, made in 64 KB pieces
// and removed with the object.
class TemporaryFile {
public:
    explicit TemporaryFile(std::size_t size, const std::string& name = "attachment.bin")
        : path_(folder_.Path() + name)
    {
        std::ofstream out(path_, std::ios::binary);
        std::vector<char> piece(64 << 10);
        for (std::size_t i = 0; i < piece.size(); ++i)
            piece[i] = static_cast<char>(i * 31 + 7);
        for (std::size_t written = 0; written < size;) {
            std::size_t count = std::min(piece.size(), size - written);
            out.write(piece.data(), static_cast<std::streamsize>(count));
            written += count;
        }
        if (!out)
            throw std::runtime_error("cannot write " + path_);
    }

    [[nodiscard]] const std::string& Path() const { return path_; }

private:
    ScratchFolder folder_;
    std::string path_;
};

// Sets the process's peak memory back to its present size (Linux 4.0 and
// later), so that what came before does not hide what follows.
inline bool ResetPeakRss()
{
    std::ofstream clearRefs("/proc/self/clear_refs");
    clearRefs << "5";
    clearRefs.flush();
    return static_cast<bool>(clearRefs);
}

inline long PeakRssKilobytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The value below which the fraction of the values lies.
inline double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    std::size_t index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

} // namespace morvanta::bench
