#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace morvanta {

// A saved message that cannot be loaded: the text says which file and why.
class SavedMessageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Larger files are not messages anyone pastes; loading them would only
// freeze the window.
inline constexpr std::uint64_t MaxSavedMessageBytes = 50ull * 1024 * 1024;

// The lines of a saved message (a ".eml" or plain text file), split as a
// pasted text is: at CR LF, a lone LF or a lone CR. Bytes are kept as they
// are, binary ones included. Only a regular file of at most
// MaxSavedMessageBytes is read; a FIFO, device or folder is refused without
// being opened for reading, so it can never block.
[[nodiscard]] std::vector<std::string> ReadSavedMessage(const std::string& path);

} // namespace morvanta
