#pragma once

// Helpers shared by the fuzz entry points: cutting one fuzz input into the
// several datagrams or frames a receiver would see in a row.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Reads an input as a sequence of pieces, each a 16-bit little-endian length
// followed by that many bytes; a length that reaches past the end takes what
// is left. Single bytes are read the same way (0 once the input is used up).
class Pieces {
public:
    Pieces(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }

    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }

    std::string piece() {
        size_t length = byte();
        length |= static_cast<size_t>(byte()) << 8;
        length = std::min(length, size_ - at_);
        std::string out(reinterpret_cast<const char*>(data_ + at_), length);
        at_ += length;
        return out;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// The writer's side of Pieces, used to build seed inputs.
inline void appendPiece(std::string& out, const std::string& piece) {
    out.push_back(static_cast<char>(piece.size() & 0xFF));
    out.push_back(static_cast<char>((piece.size() >> 8) & 0xFF));
    out += piece;
}

} // namespace fuzz
