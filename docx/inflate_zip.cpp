#include "docx/inflate_zip.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace morvel {

namespace {

// Owns one raw-deflate stream for the length of a call, so every path releases it.
class RawInflater {
  public:
    explicit RawInflater(ByteSpan input) {
        stream_.next_in = const_cast<Bytef*>(input.data);
        stream_.avail_in = input.length;
        ok_ = inflateInit2(&stream_, -15) == Z_OK;
    }
    ~RawInflater() {
        if (ok_)
            inflateEnd(&stream_);
    }
    RawInflater(const RawInflater&) = delete;
    RawInflater& operator=(const RawInflater&) = delete;

    bool ok() const { return ok_; }
    z_stream& stream() { return stream_; }

  private:
    z_stream stream_{};
    bool ok_ = false;
};

constexpr uint32_t kChunk = 64 * 1024;

// Owns one libdeflate decompressor for the length of a call.
struct WholeInflater {
    WholeInflater() : d(libdeflate_alloc_decompressor()) {}
    ~WholeInflater() {
        if (d != nullptr)
            libdeflate_free_decompressor(d);
    }
    WholeInflater(const WholeInflater&) = delete;
    WholeInflater& operator=(const WholeInflater&) = delete;

    // Inflates input into out[0, capacity): true when the stream ended within both.
    bool run(ByteSpan input, uint8_t* out, size_t capacity, size_t& consumed, size_t& produced) {
        if (d == nullptr || input.length == 0 || input.absent())
            return false;
        uint8_t none = 0;
        return libdeflate_deflate_decompress_ex(d, input.data, input.length,
                                                capacity == 0 ? &none : out, capacity, &consumed,
                                                &produced) == LIBDEFLATE_SUCCESS;
    }

    libdeflate_decompressor* d;
};

}  // namespace

uint32_t InflateZip::Crc32(ByteSpan data) {
    return Crc32Update(data, static_cast<uint32_t>(crc32(0, nullptr, 0)));
}

uint32_t InflateZip::Crc32Update(ByteSpan data, uint32_t crc) {
    if (data.length == 0 || data.absent())
        return crc;
    return libdeflate_crc32(crc, data.data, data.length);
}

int InflateZip::Inflate(ByteSpan input, uint8_t* out, uint32_t size, uint32_t& crcOut) {
    if (input.length == 0 || input.absent())
        return -1;
    // The usual case, a stream that ends within the buffer, in one fast call; anything else
    // takes the streaming path below, which decides what becomes of it.
    size_t consumed = 0, produced = 0;
    if (WholeInflater().run(input, out, size, consumed, produced)) {
        std::memset(out + produced, 0, size - produced);
        crcOut = Crc32(ByteSpan(out, size));
        return 0;
    }
    RawInflater inflater(input);
    if (!inflater.ok())
        return 1;
    z_stream& s = inflater.stream();
    uint8_t none = 0;  // zlib refuses a null output pointer even for zero bytes
    uint32_t reached = 0;
    for (;;) {
        // A buffer that turns out too small is refilled from its start; the caller's CRC
        // comparison then rejects the content.
        s.next_out = size == 0 ? &none : out;
        s.avail_out = size;
        int rc = inflate(&s, Z_NO_FLUSH);
        reached = std::max(reached, size - s.avail_out);
        if (rc == Z_STREAM_END)
            break;
        if (rc != Z_OK) {
            if (rc == Z_NEED_DICT)
                std::fprintf(stderr, "inflate - Z_NEED_DICT.\n");
            return 1;
        }
        if (s.avail_out != 0 || s.avail_in == 0)
            break;  // input used up: a stream that simply stops is judged by the CRC
    }
    if (reached < size)
        std::memset(out + reached, 0, size - reached);
    crcOut = Crc32(ByteSpan(out, size));
    return 0;
}

std::optional<uint32_t> InflateZip::CheckValue(ByteSpan input, uint32_t declaredSize) {
    if (input.length == 0 || input.absent())
        return declaredSize == 0 ? std::optional<uint32_t>(0u) : std::nullopt;
    RawInflater inflater(input);
    if (!inflater.ok())
        return std::nullopt;
    z_stream& s = inflater.stream();
    std::vector<uint8_t> chunk(kChunk);
    uint64_t produced = 0;
    uint32_t crc = Crc32(ByteSpan());
    bool progressed = false;
    for (;;) {
        s.next_out = chunk.data();
        s.avail_out = kChunk;
        uInt inBefore = s.avail_in;
        int rc = inflate(&s, Z_NO_FLUSH);
        uint32_t got = kChunk - s.avail_out;
        produced += got;
        if (produced > declaredSize)
            return std::nullopt;
        crc = Crc32Update(ByteSpan(chunk.data(), got), crc);
        progressed = progressed || got != 0 || s.avail_in != inBefore;
        if (rc == Z_STREAM_END)
            break;
        // With the whole declared size as its buffer, one call would have used up the
        // input and reported success; a later call that finds nothing left is the same.
        if (rc == Z_BUF_ERROR && progressed && s.avail_in == 0)
            break;
        if (rc != Z_OK)
            return std::nullopt;
        if (s.avail_out != 0 && s.avail_in == 0)
            break;
    }
    // Bytes the stream did not reach count as the zeros of a zero-filled buffer.
    std::fill(chunk.begin(), chunk.end(), 0);
    for (uint64_t left = declaredSize - produced; left != 0;) {
        uint32_t n = left < kChunk ? static_cast<uint32_t>(left) : kChunk;
        crc = Crc32Update(ByteSpan(chunk.data(), n), crc);
        left -= n;
    }
    return crc;
}

InflateZip::StreamRun InflateZip::Run(ByteSpan input, uint64_t outputCap, uint64_t workLimit,
                                      std::vector<uint8_t>* keep) {
    StreamRun run;
    if (input.length == 0 || input.absent())
        return run;
    RawInflater inflater(input);
    if (!inflater.ok())
        return run;
    z_stream& s = inflater.stream();
    std::vector<uint8_t> chunk(kChunk);
    run.crc = Crc32(ByteSpan());
    for (;;) {
        s.next_out = chunk.data();
        s.avail_out = kChunk;
        const int rc = inflate(&s, Z_NO_FLUSH);
        const uint32_t got = kChunk - s.avail_out;
        run.produced += got;
        run.consumed = input.length - s.avail_in;
        run.crc = Crc32Update(ByteSpan(chunk.data(), got), run.crc);
        if (run.produced > outputCap) {
            run.stop = RunStop::Capped;
            return run;
        }
        if (keep)
            keep->insert(keep->end(), chunk.data(), chunk.data() + got);
        if (rc == Z_STREAM_END) {
            run.stop = RunStop::Ended;
            return run;
        }
        if (rc != Z_OK || (s.avail_out != 0 && s.avail_in == 0))
            return run;  // Broken
        if (run.produced + run.consumed > workLimit) {
            run.stop = RunStop::OutOfWork;
            return run;
        }
    }
}

bool InflateZip::InflateWhole(ByteSpan input, uint8_t* out, size_t capacity, StreamRun& run) {
    size_t consumed = 0, produced = 0;
    if (!WholeInflater().run(input, out, capacity, consumed, produced))
        return false;
    run.stop = RunStop::Ended;
    run.consumed = consumed;
    run.produced = produced;
    run.crc = Crc32(ByteSpan());
    for (size_t at = 0; at < produced;) {
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(produced - at, 1u << 30));
        run.crc = Crc32Update(ByteSpan(out + at, n), run.crc);
        at += n;
    }
    return true;
}

bool InflateZip::MeasureStream(ByteSpan input, uint32_t& consumed, uint64_t& produced,
                               uint32_t& crc) {
    if (input.length == 0 || input.absent())
        return false;
    RawInflater inflater(input);
    if (!inflater.ok())
        return false;
    z_stream& s = inflater.stream();
    std::vector<uint8_t> chunk(kChunk);
    produced = 0;
    crc = Crc32(ByteSpan());
    for (;;) {
        s.next_out = chunk.data();
        s.avail_out = kChunk;
        int rc = inflate(&s, Z_NO_FLUSH);
        uint32_t got = kChunk - s.avail_out;
        produced += got;
        crc = Crc32Update(ByteSpan(chunk.data(), got), crc);
        if (rc == Z_STREAM_END) {
            consumed = input.length - s.avail_in;
            return true;
        }
        if (rc != Z_OK || (s.avail_out != 0 && s.avail_in == 0))
            return false;
    }
}

}  // namespace morvel
