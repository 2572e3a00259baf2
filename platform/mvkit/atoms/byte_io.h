#pragma once
// Big-endian reading and writing of atom payloads.
//
// MVByteReader walks a span of bytes; every read is bounds-checked and a read past the end throws
// MVMalformedAtom, which the atom parsers catch per atom (so one bad atom never takes its siblings with
// it). MVByteWriter appends to a growing buffer and back-patches atom sizes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

struct MVMalformedAtom : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class MVByteReader {
public:
    MVByteReader() = default;
    explicit MVByteReader(std::span<const uint8_t> bytes)
        : _bytes(bytes)
    {
    }

    size_t position() const { return _pos; }
    size_t size() const { return _bytes.size(); }
    size_t remaining() const { return _bytes.size() - _pos; }
    bool atEnd() const { return _pos >= _bytes.size(); }

    void require(size_t n) const
    {
        if (n > remaining())
            throw MVMalformedAtom("truncated atom");
    }
    void skip(size_t n)
    {
        require(n);
        _pos += n;
    }
    void seek(size_t pos)
    {
        if (pos > _bytes.size())
            throw MVMalformedAtom("seek past the end of an atom");
        _pos = pos;
    }

    uint8_t u8()
    {
        require(1);
        return _bytes[_pos++];
    }
    uint16_t u16() { return uint16_t(readBE(2)); }
    uint32_t u24() { return uint32_t(readBE(3)); }
    uint32_t u32() { return uint32_t(readBE(4)); }
    uint64_t u64() { return readBE(8); }
    int16_t s16() { return int16_t(u16()); }
    int32_t s32() { return int32_t(u32()); }
    int64_t s64() { return int64_t(u64()); }

    std::span<const uint8_t> bytes(size_t n)
    {
        require(n);
        auto s = _bytes.subspan(_pos, n);
        _pos += n;
        return s;
    }
    std::vector<uint8_t> copy(size_t n)
    {
        auto s = bytes(n);
        return { s.begin(), s.end() };
    }
    std::span<const uint8_t> rest() { return bytes(remaining()); }

    // Checks that `count` records of `recordSize` bytes fit in what remains, before anything is
    // allocated for them.
    void requireRecords(uint64_t count, size_t recordSize) const
    {
        if (recordSize != 0 && count > remaining() / recordSize)
            throw MVMalformedAtom("table larger than its atom");
    }

private:
    uint64_t readBE(size_t n)
    {
        require(n);
        uint64_t v = 0;
        for (size_t i = 0; i < n; ++i)
            v = (v << 8) | _bytes[_pos + i];
        _pos += n;
        return v;
    }

    std::span<const uint8_t> _bytes;
    size_t _pos = 0;
};

class MVByteWriter {
public:
    std::vector<uint8_t>& buffer() { return _out; }
    const std::vector<uint8_t>& buffer() const { return _out; }
    size_t size() const { return _out.size(); }

    void u8(uint8_t v) { _out.push_back(v); }
    void u16(uint16_t v) { writeBE(v, 2); }
    void u24(uint32_t v) { writeBE(v, 3); }
    void u32(uint32_t v) { writeBE(v, 4); }
    void u64(uint64_t v) { writeBE(v, 8); }
    void s16(int16_t v) { u16(uint16_t(v)); }
    void s32(int32_t v) { u32(uint32_t(v)); }
    void s64(int64_t v) { u64(uint64_t(v)); }
    void bytes(std::span<const uint8_t> b) { _out.insert(_out.end(), b.begin(), b.end()); }
    void zeros(size_t n) { _out.insert(_out.end(), n, 0); }

    // Starts an atom with a 32-bit size placeholder; endAtom fills it in.
    size_t beginAtom(uint32_t type)
    {
        size_t start = _out.size();
        u32(0);
        u32(type);
        return start;
    }
    void endAtom(size_t start)
    {
        uint64_t size = _out.size() - start;
        if (size > UINT32_MAX)
            throw std::length_error("atom too large for a 32-bit size");
        patch32(start, uint32_t(size));
    }
    void patch32(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            _out[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
    }

private:
    void writeBE(uint64_t v, int n)
    {
        for (int i = n - 1; i >= 0; --i)
            _out.push_back(uint8_t(v >> (8 * i)));
    }
    std::vector<uint8_t> _out;
};
