#include "tests/support/zip_builder.h"

#include <zlib.h>

#include <stdexcept>

#include "platform/le_reader.h"

namespace morvel::test {

std::vector<uint8_t> deflateRaw(const std::vector<uint8_t>& bytes, int level) {
    z_stream s{};
    if (deflateInit2(&s, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::vector<uint8_t> out(deflateBound(&s, bytes.size()) + 16);
    s.next_in = const_cast<Bytef*>(bytes.data());
    s.avail_in = static_cast<uInt>(bytes.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    if (rc != Z_STREAM_END)
        throw std::runtime_error("deflate");
    return out;
}

size_t ZipBuilder::add(const std::string& name, const std::string& content, uint16_t method,
                       bool deferSizes) {
    Entry how;
    how.method = method;
    how.descriptor = deferSizes;
    return add(name, content, how);
}

size_t ZipBuilder::add(const std::string& name, const std::string& content, const Entry& how) {
    const std::vector<uint8_t> plain(content.begin(), content.end());
    const std::vector<uint8_t> data = how.method == 8 ? deflateRaw(plain, how.level) : plain;
    const auto crc = static_cast<uint32_t>(crc32(0, plain.data(), static_cast<uInt>(plain.size())));
    const auto offset = static_cast<uint32_t>(bytes_.size());
    const uint16_t flags = how.descriptor ? 0x0008 : 0;
    const bool zeroed = how.descriptor && !how.headerSizes;
    appendU32LE(bytes_, 0x04034B50);
    appendU16LE(bytes_, 20);
    appendU16LE(bytes_, flags);
    appendU16LE(bytes_, how.method);
    appendU16LE(bytes_, 0);
    appendU16LE(bytes_, 0x5C21);
    appendU32LE(bytes_, zeroed ? 0 : crc);
    std::vector<uint8_t> extra;
    if (how.zip64Local) {
        appendU16LE(extra, 0x0001);
        appendU16LE(extra, 16);
        for (uint64_t v : {uint64_t{plain.size()}, uint64_t{data.size()}}) {
            appendU32LE(extra, static_cast<uint32_t>(v));
            appendU32LE(extra, static_cast<uint32_t>(v >> 32));
        }
    }
    appendU32LE(bytes_, zeroed           ? 0
                        : how.zip64Local ? 0xFFFFFFFFu
                                         : static_cast<uint32_t>(data.size()));
    appendU32LE(bytes_, zeroed           ? 0
                        : how.zip64Local ? 0xFFFFFFFFu
                                         : static_cast<uint32_t>(plain.size()));
    appendU16LE(bytes_, static_cast<uint16_t>(name.size()));
    appendU16LE(bytes_, static_cast<uint16_t>(extra.size()));
    bytes_.insert(bytes_.end(), name.begin(), name.end());
    bytes_.insert(bytes_.end(), extra.begin(), extra.end());
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    if (how.descriptor) {
        if (how.descriptorSignature)
            appendU32LE(bytes_, 0x08074B50);
        appendU32LE(bytes_, crc);
        for (uint64_t v : {uint64_t{data.size()}, uint64_t{plain.size()}}) {
            appendU32LE(bytes_, static_cast<uint32_t>(v));
            if (how.zip64Descriptor)
                appendU32LE(bytes_, static_cast<uint32_t>(v >> 32));
        }
    }
    central_.push_back({name,
                        how.method,
                        flags,
                        crc,
                        static_cast<uint32_t>(data.size()),
                        static_cast<uint32_t>(plain.size()),
                        offset,
                        {}});
    return offset;
}

size_t ZipBuilder::addBytes(const std::vector<uint8_t>& bytes) {
    size_t offset = bytes_.size();
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return offset;
}

std::vector<uint8_t> ZipBuilder::finish(std::vector<size_t>* centralAt) const {
    std::vector<uint8_t> out = bytes_;
    const auto cdStart = static_cast<uint32_t>(out.size());
    for (const Central& c : central_) {
        if (centralAt)
            centralAt->push_back(out.size());
        appendU32LE(out, 0x02014B50);
        appendU16LE(out, 20);
        appendU16LE(out, 20);
        appendU16LE(out, c.flags);
        appendU16LE(out, c.method);
        appendU16LE(out, 0);
        appendU16LE(out, 0x5C21);
        appendU32LE(out, c.crc);
        appendU32LE(out, c.compressed);
        appendU32LE(out, c.uncompressed);
        appendU16LE(out, static_cast<uint16_t>(c.name.size()));
        appendU16LE(out, static_cast<uint16_t>(c.extra.size()));
        for (int i = 0; i < 3; ++i)
            appendU16LE(out, 0);
        appendU32LE(out, 0);
        appendU32LE(out, c.offset);
        out.insert(out.end(), c.name.begin(), c.name.end());
        out.insert(out.end(), c.extra.begin(), c.extra.end());
    }
    const auto cdSize = static_cast<uint32_t>(out.size() - cdStart);
    appendU32LE(out, 0x06054B50);
    appendU32LE(out, 0);
    appendU16LE(out, static_cast<uint16_t>(central_.size()));
    appendU16LE(out, static_cast<uint16_t>(central_.size()));
    appendU32LE(out, cdSize);
    appendU32LE(out, cdStart);
    appendU16LE(out, 0);
    return out;
}

std::vector<uint8_t> makePackage(const std::vector<std::pair<std::string, std::string>>& parts) {
    ZipBuilder zip;
    for (const auto& [name, content] : parts)
        zip.add(name, content);
    return zip.finish();
}

}  // namespace morvel::test
