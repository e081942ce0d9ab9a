#include "net/ByteBuffer.h"

#include <algorithm>

namespace morvanta {

void ByteBuffer::Append(std::string_view bytes)
{
    Compact();
    data_.append(bytes);
}

char* ByteBuffer::PrepareAppend(size_t size)
{
    Compact();
    prepared_ = data_.size();
    data_.resize(prepared_ + size);
    return data_.data() + prepared_;
}

void ByteBuffer::CommitAppend(size_t count)
{
    data_.resize(std::min(data_.size(), prepared_ + count));
}

std::string ByteBuffer::Extract(size_t count)
{
    count = std::min(count, Size());
    std::string result = data_.substr(head_, count);
    Remove(count);
    return result;
}

void ByteBuffer::Remove(size_t count)
{
    head_ += std::min(count, Size());
    if (head_ == data_.size())
        Clear();
}

void ByteBuffer::Clear()
{
    data_.clear();
    head_ = 0;
}

// Taking bytes from the front only moves a mark; the space before it is
// given back once it outweighs what is left.
void ByteBuffer::Compact()
{
    if (head_ > 0 && head_ >= data_.size() - head_) {
        data_.erase(0, head_);
        head_ = 0;
    }
}

} // namespace morvanta
