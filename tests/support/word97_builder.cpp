#include "tests/support/word97_builder.h"

#include "doc/fib_layout.h"
#include "platform/le_reader.h"
#include "tests/support/cfb_builder.h"

namespace morvel::test {

namespace {

void putU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    if (b.size() < at + 4)
        b.resize(at + 4);
    writeU32LE(b, at, v);
}

void padTo(std::vector<uint8_t>& b, size_t size) {
    if (b.size() < size)
        b.resize(size, 0);
}

}  // namespace

std::vector<uint8_t> clxOf(const std::vector<int32_t>& cps, const std::vector<uint32_t>& fcs) {
    std::vector<uint8_t> out;
    appendU8(out, 2);
    appendU32LE(out, static_cast<uint32_t>(4 * cps.size() + 8 * fcs.size()));
    for (int32_t cp : cps)
        appendU32LE(out, static_cast<uint32_t>(cp));
    for (uint32_t fc : fcs) {
        appendU16LE(out, 0);
        appendU32LE(out, fc);
        appendU16LE(out, 0);
    }
    return out;
}

std::vector<uint8_t> chpxPage(uint32_t first, const std::vector<Word97Builder::ChpRun>& runs) {
    std::vector<uint8_t> page(512, 0);
    putU32(page, 0, first);
    size_t top = 511;
    for (size_t i = 0; i < runs.size(); ++i) {
        putU32(page, 4 * i + 4, runs[i].end);
        if (runs[i].grpprl.empty())
            continue;
        bool shared = false;
        for (size_t k = 0; k < i && !shared; ++k) {
            if (runs[k].grpprl == runs[i].grpprl) {
                page[4 * runs.size() + 4 + i] = page[4 * runs.size() + 4 + k];
                shared = true;
            }
        }
        if (shared)
            continue;
        const size_t n = runs[i].grpprl.size();
        size_t at = (top - 1 - n) & ~size_t(1);
        page[at] = static_cast<uint8_t>(n);
        std::copy(runs[i].grpprl.begin(), runs[i].grpprl.end(), page.begin() + at + 1);
        page[4 * runs.size() + 4 + i] = static_cast<uint8_t>(at / 2);
        top = at;
    }
    page[511] = static_cast<uint8_t>(runs.size());
    return page;
}

std::vector<uint8_t> papxPage(uint32_t first, const std::vector<Word97Builder::PapRun>& runs) {
    std::vector<uint8_t> page(512, 0);
    putU32(page, 0, first);
    size_t top = 511;
    for (size_t i = 0; i < runs.size(); ++i) {
        putU32(page, 4 * i + 4, runs[i].end);
        bool shared = false;
        for (size_t k = 0; k < i && !shared; ++k) {
            if (runs[k].istd == runs[i].istd && runs[k].grpprl == runs[i].grpprl) {
                page[4 * runs.size() + 4 + 13 * i] = page[4 * runs.size() + 4 + 13 * k];
                shared = true;
            }
        }
        if (shared)
            continue;
        std::vector<uint8_t> body;
        appendU16LE(body, runs[i].istd);
        body.insert(body.end(), runs[i].grpprl.begin(), runs[i].grpprl.end());
        std::vector<uint8_t> papx;
        if (body.size() % 2 == 1) {
            papx.push_back(static_cast<uint8_t>((body.size() + 1) / 2));
        } else {
            papx.push_back(0);
            papx.push_back(static_cast<uint8_t>(body.size() / 2));
        }
        papx.insert(papx.end(), body.begin(), body.end());
        size_t at = (top - papx.size()) & ~size_t(1);
        std::copy(papx.begin(), papx.end(), page.begin() + at);
        page[4 * runs.size() + 4 + 13 * i] = static_cast<uint8_t>(at / 2);
        top = at;
    }
    page[511] = static_cast<uint8_t>(runs.size());
    return page;
}

Doc8Streams Word97Builder::build() {
    const uint32_t width = compressed ? 1 : 2;
    const uint32_t textEnd = textFc + width * static_cast<uint32_t>(text.size());
    if (chpPages.empty())
        chpPages = {{{textEnd, {0x35, 0x08, 0x01}}}};
    if (papPages.empty())
        papPages = {{{textEnd, 0, {}}}};

    std::vector<uint8_t> wd(textFc, 0);
    writeU16LE(wd, 0, 0xA5EC);
    writeU16LE(wd, fib::kNFib, nFib);
    writeU16LE(wd, fib::kFlags, flags);
    writeU32LE(wd, fib::kFcMin, textFc);
    writeU32LE(wd, fib::kFcMac, textEnd);
    writeU32LE(wd, fib::kCcpText, static_cast<uint32_t>(text.size()));
    writeU32LE(wd, fib::kPairCount, pairCount);
    for (char16_t c : text) {
        if (compressed) {
            appendU8(wd, static_cast<uint8_t>(c));
        } else {
            appendU16LE(wd, static_cast<uint16_t>(c));
        }
    }
    padTo(wd, (wd.size() + 511) / 512 * 512);
    chpPageNumbers.clear();
    papPageNumbers.clear();
    uint32_t first = textFc;
    for (const auto& runs : chpPages) {
        chpPageNumbers.push_back(static_cast<uint32_t>(wd.size() / 512));
        std::vector<uint8_t> page = chpxPage(first, runs);
        wd.insert(wd.end(), page.begin(), page.end());
        if (!runs.empty())
            first = runs.back().end;
    }
    first = textFc;
    for (const auto& runs : papPages) {
        papPageNumbers.push_back(static_cast<uint32_t>(wd.size() / 512));
        std::vector<uint8_t> page = papxPage(first, runs);
        wd.insert(wd.end(), page.begin(), page.end());
        if (!runs.empty())
            first = runs.back().end;
    }
    std::vector<uint32_t> sepxAt;
    padTo(wd, sepxFrom);
    for (const auto& sprms : sections) {
        sepxAt.push_back(static_cast<uint32_t>(wd.size()));
        appendU16LE(wd, static_cast<uint16_t>(sprms.size()));
        wd.insert(wd.end(), sprms.begin(), sprms.end());
    }
    sepxFc = sepxAt.empty() ? 0 : sepxAt[0];

    // Table stream: STSH at 0, then each table, its pair written into the FIB.
    std::vector<uint8_t> tbl;
    auto place = [&](uint32_t fcOffset, const std::vector<uint8_t>& bytes) {
        writeU32LE(wd, fcOffset, static_cast<uint32_t>(tbl.size()));
        writeU32LE(wd, fcOffset + 4, static_cast<uint32_t>(bytes.size()));
        tbl.insert(tbl.end(), bytes.begin(), bytes.end());
    };
    place(fib::kStshf, stsh);
    std::vector<uint8_t> sed;
    for (size_t i = 0; i <= sections.size(); ++i)
        appendU32LE(sed, static_cast<uint32_t>(i == sections.size() ? text.size() : 0));
    for (uint32_t at : sepxAt) {
        appendU16LE(sed, 0);
        appendU32LE(sed, at);
        appendU16LE(sed, 0);
        appendU32LE(sed, 0xFFFFFFFF);
    }
    if (!sections.empty())
        place(fib::kPlcfSed, sed);
    auto binTable = [&](const std::vector<std::vector<ChpRun>>* chp,
                        const std::vector<std::vector<PapRun>>* pap,
                        const std::vector<uint32_t>& pns) {
        std::vector<uint8_t> out;
        appendU32LE(out, textFc);
        const size_t n = chp ? chp->size() : pap->size();
        uint32_t last = textFc;
        for (size_t i = 0; i < n; ++i) {
            if (chp && !(*chp)[i].empty())
                last = (*chp)[i].back().end;
            if (pap && !(*pap)[i].empty())
                last = (*pap)[i].back().end;
            appendU32LE(out, last);
        }
        for (uint32_t pn : pns)
            appendU32LE(out, pn);
        return out;
    };
    place(fib::kPlcfBteChpx, binTable(&chpPages, nullptr, chpPageNumbers));
    place(fib::kPlcfBtePapx, binTable(nullptr, &papPages, papPageNumbers));
    place(fib::kDop, dop);
    const std::vector<uint8_t> clxBytes =
        clx ? *clx
            : clxOf({0, static_cast<int32_t>(text.size())},
                    {compressed ? (textFc * 2) | 0x40000000u : textFc});
    place(fib::kClx, clxBytes);
    for (const auto& [at, bytes] : extraTables) {
        place(at, bytes);
        if (auto lcb = extraTableLcb.find(at); lcb != extraTableLcb.end())
            writeU32LE(wd, at + 4, lcb->second);
    }

    Doc8Streams s;
    s.wordDocument = std::move(wd);
    if (withTable) {
        if (table0)
            s.table0 = std::move(tbl);
        else
            s.table1 = std::move(tbl);
    }
    s.data = data;
    return s;
}

std::vector<uint8_t> Word97Builder::buildFile() {
    Doc8Streams s = build();
    std::vector<CfbStream> streams = {{"WordDocument", s.wordDocument},
                                      {"\001CompObj", std::vector<uint8_t>(60, 0x21)}};
    if (s.table1)
        streams.push_back({"1Table", *s.table1});
    if (s.table0)
        streams.push_back({"0Table", *s.table0});
    if (s.data)
        streams.push_back({"Data", *s.data});
    for (const auto& [path, bytes] : extraStreams)
        streams.push_back({path, bytes});
    const std::vector<uint8_t> file = buildCompoundFile(streams);
    return version4 ? toVersion4(file) : file;
}

}  // namespace morvel::test
