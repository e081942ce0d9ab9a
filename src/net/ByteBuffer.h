#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace morvanta {

// A queue of bytes: appended at the back, taken from the front.
class ByteBuffer {
public:
    [[nodiscard]] size_t Size() const { return data_.size() - head_; }
    [[nodiscard]] bool Empty() const { return Size() == 0; }
    // The bytes held, valid until the next change.
    [[nodiscard]] std::string_view View() const { return std::string_view(data_).substr(head_); }

    void Append(std::string_view bytes);

    // Room for up to size more bytes at the back, to be filled directly (by
    // a receive call) and then confirmed with CommitAppend.
    [[nodiscard]] char* PrepareAppend(size_t size);
    void CommitAppend(size_t count);

    // Takes the first count bytes (all of them when count is larger).
    [[nodiscard]] std::string Extract(size_t count);
    [[nodiscard]] std::string ExtractAll() { return Extract(Size()); }
    void Remove(size_t count);
    void Clear();

private:
    void Compact();

    std::string data_;
    size_t head_ = 0;
    size_t prepared_ = 0;
};

} // namespace morvanta
