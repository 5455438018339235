#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace morvel {

// Bounds-checked little-endian reads. A read that does not fit inside the buffer yields 0,
// which is what the recovery code wants for bytes beyond the end of a damaged image.
inline uint8_t readU8(std::span<const uint8_t> buf, size_t off) {
    return off < buf.size() ? buf[off] : 0;
}

inline uint16_t readU16LE(std::span<const uint8_t> buf, size_t off) {
    if (off > buf.size() || buf.size() - off < 2)
        return 0;
    return static_cast<uint16_t>(buf[off] | (buf[off + 1] << 8));
}

inline uint32_t readU32LE(std::span<const uint8_t> buf, size_t off) {
    if (off > buf.size() || buf.size() - off < 4)
        return 0;
    return static_cast<uint32_t>(buf[off]) | (static_cast<uint32_t>(buf[off + 1]) << 8) |
           (static_cast<uint32_t>(buf[off + 2]) << 16) |
           (static_cast<uint32_t>(buf[off + 3]) << 24);
}

inline uint64_t readU64LE(std::span<const uint8_t> buf, size_t off) {
    if (off > buf.size() || buf.size() - off < 8)
        return 0;
    return static_cast<uint64_t>(readU32LE(buf, off)) |
           (static_cast<uint64_t>(readU32LE(buf, off + 4)) << 32);
}

inline int16_t readI16LE(std::span<const uint8_t> buf, size_t off) {
    return static_cast<int16_t>(readU16LE(buf, off));
}
inline int32_t readI32LE(std::span<const uint8_t> buf, size_t off) {
    return static_cast<int32_t>(readU32LE(buf, off));
}

// True when [off, off + len) lies inside the buffer (no overflow).
inline bool fits(std::span<const uint8_t> buf, size_t off, size_t len) {
    return off <= buf.size() && len <= buf.size() - off;
}

// Bounds-checked little-endian writes into a buffer that is already sized; writes outside are
// ignored and reported as false.
inline bool writeU16LE(std::span<uint8_t> buf, size_t off, uint16_t v) {
    if (off > buf.size() || buf.size() - off < 2)
        return false;
    buf[off] = static_cast<uint8_t>(v);
    buf[off + 1] = static_cast<uint8_t>(v >> 8);
    return true;
}

inline bool writeU32LE(std::span<uint8_t> buf, size_t off, uint32_t v) {
    if (off > buf.size() || buf.size() - off < 4)
        return false;
    for (int i = 0; i < 4; ++i)
        buf[off + i] = static_cast<uint8_t>(v >> (8 * i));
    return true;
}

// Appending writers for growing output buffers.
inline void appendU8(std::vector<uint8_t>& out, uint8_t v) {
    out.push_back(v);
}
inline void appendU16LE(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void appendU32LE(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace morvel
