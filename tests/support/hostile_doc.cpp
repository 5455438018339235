#include "tests/support/hostile_doc.h"

#include "doc/fib_layout.h"
#include "platform/le_reader.h"
#include "tests/support/cfb_builder.h"
#include "tests/support/word97_builder.h"

namespace morvel::test {

namespace {

constexpr uint32_t kRunsPerPage = 100;  // the most a character page may hold

// The streams in a compound file, as Word97Builder::buildFile lays them out.
std::vector<uint8_t> fileOf(const Doc8Streams& s) {
    std::vector<CfbStream> streams = {{"WordDocument", s.wordDocument},
                                      {"\001CompObj", std::vector<uint8_t>(60, 0x21)}};
    if (s.table1)
        streams.push_back({"1Table", *s.table1});
    return buildCompoundFile(streams);
}

}  // namespace

std::vector<uint8_t> makeManyPiecesManyRunsDoc(uint32_t pieces, uint32_t runs) {
    Word97Builder b;
    b.text.assign(pieces, u'x');
    std::vector<int32_t> cps;
    std::vector<uint32_t> fcs;
    for (uint32_t i = 0; i <= pieces; ++i)
        cps.push_back(static_cast<int32_t>(i));
    for (uint32_t i = 0; i < pieces; ++i)
        fcs.push_back(b.textFc + 2 * i);
    b.clx = clxOf(cps, fcs);
    // A piece table is taken only when the WordDocument stream is at least as long.
    b.sepxFrom = static_cast<uint32_t>(b.clx->size());
    // One page of runs that end in the first pieces, the last ones a scan from the end of the
    // piece table reaches; its last run ends where it begins, so the page continues itself
    // and is accepted every time the bin table lists it.
    std::vector<Word97Builder::ChpRun> page;
    for (uint32_t i = 1; i < kRunsPerPage; ++i)
        page.push_back({b.textFc + 2 * std::min(i, pieces), {}});
    page.push_back({b.textFc, {}});
    b.chpPages = {page};
    Doc8Streams s = b.build();

    // The character bin table: that one page, listed over and over.
    const uint32_t textEnd = b.textFc + 2 * pieces;
    const uint32_t listed = std::max<uint32_t>(1, runs / kRunsPerPage);
    std::vector<uint8_t> bin;
    appendU32LE(bin, b.textFc);
    for (uint32_t i = 0; i < listed; ++i)
        appendU32LE(bin, textEnd);
    for (uint32_t i = 0; i < listed; ++i)
        appendU32LE(bin, b.chpPageNumbers[0]);
    std::vector<uint8_t>& table = *s.table1;
    writeU32LE(s.wordDocument, fib::kPlcfBteChpx, static_cast<uint32_t>(table.size()));
    writeU32LE(s.wordDocument, fib::kPlcfBteChpx + 4, static_cast<uint32_t>(bin.size()));
    table.insert(table.end(), bin.begin(), bin.end());
    return fileOf(s);
}

}  // namespace morvel::test
