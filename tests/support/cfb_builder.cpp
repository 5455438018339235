#include "tests/support/cfb_builder.h"

#include "platform/le_reader.h"

namespace morvel::test {

std::vector<uint8_t> buildCompoundFile(const std::vector<CfbStream>& streams,
                                       const ClassId& rootClass) {
    CompoundFileWriter writer;
    writer.root().setClass(rootClass);
    for (const CfbStream& s : streams) {
        CompoundStorage* storage = &writer.root();
        std::string rest = s.path;
        for (size_t slash; (slash = rest.find('/')) != std::string::npos;) {
            storage = &storage->createStorage(std::string_view(rest).substr(0, slash));
            rest.erase(0, slash + 1);
        }
        storage->createStream(std::string_view(rest)).write(s.bytes);
    }
    return writer.serialize();
}

std::vector<uint8_t> fillerBytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> out(n);
    uint32_t x = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        // Letters only: never an FD FF FF FF marker, a signature or a UTF-16 name.
        out[i] = static_cast<uint8_t>('a' + (x >> 16) % 26);
    }
    return out;
}

CfbLayout layoutOf(const std::vector<uint8_t>& file) {
    CfbLayout l;
    l.csectFat = readU32LE(file, 44);
    l.dirStart = readU32LE(file, 48);
    l.miniFatStart = readU32LE(file, 60);
    for (uint32_t i = 0; i < l.csectFat && i < 109; ++i)
        l.fatSectors.push_back(readU32LE(file, 76 + 4 * i));
    return l;
}

}  // namespace morvel::test
