// The byte reader every fuzz target takes its input through, and the matching writer the seed
// maker uses. Fields are read front to back, integers little-endian; a field past the end
// reads as zeros (a string as empty), so every input has a meaning.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace zvfuzz {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }
    std::size_t left() const { return size_ - at_; }

    std::uint8_t u8() { return empty() ? 0 : data_[at_++]; }
    // The low part first: each read is its own statement, as the operands of one expression
    // may be evaluated in any order.
    std::uint16_t u16()
    {
        std::uint16_t low = u8();
        return static_cast<std::uint16_t>(low | u8() << 8);
    }
    std::uint32_t u32()
    {
        std::uint32_t low = u16();
        return low | static_cast<std::uint32_t>(u16()) << 16;
    }
    std::uint64_t u64()
    {
        std::uint64_t low = u32();
        return low | static_cast<std::uint64_t>(u32()) << 32;
    }
    double f64()
    {
        std::uint64_t bits = u64();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    // At most `n` bytes, fewer at the end of the input.
    std::vector<std::uint8_t> bytes(std::size_t n)
    {
        if (n > left()) n = left();
        std::vector<std::uint8_t> out(data_ + at_, data_ + at_ + n);
        at_ += n;
        return out;
    }
    // A string of a one-byte length; it holds no NUL, which ends it early.
    std::string text()
    {
        std::vector<std::uint8_t> b = bytes(u8());
        std::string s(b.begin(), b.end());
        return s.substr(0, s.find('\0'));
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

class Output {
public:
    Output& u8(std::uint8_t v)
    {
        out_.push_back(v);
        return *this;
    }
    Output& u16(std::uint16_t v) { return u8(static_cast<std::uint8_t>(v)).u8(static_cast<std::uint8_t>(v >> 8)); }
    Output& u32(std::uint32_t v) { return u16(static_cast<std::uint16_t>(v)).u16(static_cast<std::uint16_t>(v >> 16)); }
    Output& u64(std::uint64_t v) { return u32(static_cast<std::uint32_t>(v)).u32(static_cast<std::uint32_t>(v >> 32)); }
    Output& f64(double d)
    {
        std::uint64_t bits;
        std::memcpy(&bits, &d, sizeof d);
        return u64(bits);
    }
    Output& bytes(const void* data, std::size_t n)
    {
        auto* p = static_cast<const std::uint8_t*>(data);
        out_.insert(out_.end(), p, p + n);
        return *this;
    }
    Output& text(std::string_view s) { return u8(static_cast<std::uint8_t>(s.size())).bytes(s.data(), s.size()); }
    const std::vector<std::uint8_t>& data() const { return out_; }

private:
    std::vector<std::uint8_t> out_;
};

}  // namespace zvfuzz
