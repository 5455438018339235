#include "docx/template_store_writer.h"

#include "docx/uni_data_store_package.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

void appendHead(std::vector<uint8_t>& out, uint32_t tag, uint32_t w1, uint32_t w2, uint32_t w3,
                uint32_t w4) {
    for (uint32_t w : {tag, w1, w2, w3, w4})
        appendU32LE(out, w);
}

void appendSubRecord(std::vector<uint8_t>& out, uint32_t tag, const std::string& name,
                     const std::vector<uint8_t>& data) {
    appendHead(out, tag, static_cast<uint32_t>(name.size() + data.size()), 0, 0,
               static_cast<uint32_t>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
    out.insert(out.end(), data.begin(), data.end());
}

}  // namespace

std::vector<uint8_t> buildTemplateStore(const std::vector<StorePackage>& packages,
                                        const std::string& note, uint32_t seed) {
    std::vector<uint8_t> body;
    std::vector<uint8_t> scrambled(note.begin(), note.end());
    const auto noteLength = static_cast<uint32_t>(scrambled.size());
    const uint32_t noteCheck = storeCheckValue(ByteSpan(scrambled.data(), noteLength));
    scrambleStoreData(scrambled.data(), noteLength, seed);
    appendHead(body, kStoreScrambledTag, noteLength, noteCheck, seed, noteLength);
    body.insert(body.end(), scrambled.begin(), scrambled.end());

    appendHead(body, kStoreDirectoryTag, 0, 0, static_cast<uint32_t>(packages.size() + 1), 0);
    appendSubRecord(body, kStoreSkippedTag, "note", std::vector<uint8_t>(note.begin(), note.end()));
    for (const StorePackage& p : packages)
        appendSubRecord(body, kStorePackageTag, p.name, p.data);

    std::vector<uint8_t> out;
    const auto length = static_cast<uint32_t>(body.size());
    appendHead(out, kStoreMagic, length, storeCheckValue(ByteSpan(body.data(), length)), 0, 0);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

}  // namespace morvel
