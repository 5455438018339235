#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "docx/tolerant_inflate.h"

namespace morvel {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint64_t kNoCap = uint64_t(1) << 32;

ByteSpan spanOfBytes(const Bytes& b) {
    return ByteSpan(b.data(), static_cast<uint32_t>(b.size()));
}

// Raw deflate of `in` with the given settings; `flushEvery` > 0 cuts the input into pieces
// ended by that flush, so the stream has several blocks.
Bytes deflateRaw(const Bytes& in, int level, int strategy = Z_DEFAULT_STRATEGY,
                 size_t flushEvery = 0, int flush = Z_SYNC_FLUSH) {
    z_stream s{};
    EXPECT_EQ(deflateInit2(&s, level, Z_DEFLATED, -15, 9, strategy), Z_OK);
    Bytes out(deflateBound(&s, in.size()) + 64 + (flushEvery ? in.size() / flushEvery * 16 : 0));
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    size_t done = 0;
    do {
        size_t piece = flushEvery ? std::min(flushEvery, in.size() - done) : in.size() - done;
        s.next_in = const_cast<Bytef*>(in.data() + done);
        s.avail_in = static_cast<uInt>(piece);
        done += piece;
        int rc = deflate(&s, done == in.size() ? Z_FINISH : flush);
        EXPECT_NE(rc, Z_STREAM_ERROR);
    } while (done < in.size());
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

// What zlib makes of a raw stream, up to its first error.
Bytes inflateZlib(const Bytes& comp) {
    z_stream s{};
    EXPECT_EQ(inflateInit2(&s, -15), Z_OK);
    Bytes out, chunk(1 << 16);
    s.next_in = const_cast<Bytef*>(comp.data());
    s.avail_in = static_cast<uInt>(comp.size());
    for (;;) {
        s.next_out = chunk.data();
        s.avail_out = static_cast<uInt>(chunk.size());
        int rc = inflate(&s, Z_NO_FLUSH);
        out.insert(out.end(), chunk.data(), chunk.data() + (chunk.size() - s.avail_out));
        if (rc != Z_OK || (s.avail_in == 0 && s.avail_out != 0))
            break;
    }
    inflateEnd(&s);
    return out;
}

// A WordprocessingML body of about `size` bytes: paragraphs of runs with varied words (some
// with accented letters), formatting and bookmarks, so the Huffman codes are rich.
Bytes documentXml(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    const std::vector<std::string> syllables = {
        "ka", "lo",  "mi", "ne",  "su",  "tor", "vel", "qua", "ri", "den", "mar", "sol",
        "pe", "ath", "ul", "xen", "bri", "gon", "fé",  "zü",  "wa", "tis", "or",  "ex"};
    std::vector<std::string> vocab;
    for (int i = 0; i < 3000; ++i) {
        std::string w;
        int n = 1 + static_cast<int>(rng() % 4);
        for (int k = 0; k < n; ++k)
            w += syllables[rng() % syllables.size()];
        vocab.push_back(w);
    }
    // Zipf-like choice: frequent words are few, most are rare.
    auto word = [&] {
        double u = std::uniform_real_distribution<double>(0, 1)(rng);
        return vocab[static_cast<size_t>(std::pow(u, 3.0) * vocab.size()) % vocab.size()];
    };
    std::string x =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<w:document "
        "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>";
    int para = 0;
    while (x.size() < size) {
        x += "<w:p w:rsidR=\"00" + std::to_string(100000 + rng() % 900000) +
             "\"><w:pPr><w:pStyle w:val=\"" + (para % 7 == 0 ? "Heading1" : "Normal") +
             "\"/><w:spacing w:after=\"" + std::to_string(120 + rng() % 4 * 40) + "\"/></w:pPr>";
        if (para % 11 == 3)
            x += "<w:bookmarkStart w:id=\"" + std::to_string(para) + "\" w:name=\"_Toc" +
                 std::to_string(rng() % 100000) + "\"/>";
        int runs = 1 + static_cast<int>(rng() % 4);
        for (int r = 0; r < runs; ++r) {
            x += "<w:r>";
            if (rng() % 3 == 0)
                x += rng() % 2 ? "<w:rPr><w:b/></w:rPr>"
                               : "<w:rPr><w:i/><w:sz w:val=\"24\"/></w:rPr>";
            x += "<w:t xml:space=\"preserve\">";
            int words = 3 + static_cast<int>(rng() % 14);
            for (int k = 0; k < words; ++k) {
                x += word();
                x += k + 1 == words ? (rng() % 4 == 0 ? ". " : " ") : (rng() % 9 == 0 ? ", " : " ");
            }
            if (rng() % 13 == 0)
                x += "&amp; ";
            x += "</w:t></w:r>";
        }
        x += "</w:p>";
        ++para;
    }
    x += "<w:sectPr/></w:body></w:document>";
    return Bytes(x.begin(), x.end());
}

// The words of an XML text's character data, in order.
std::vector<std::string> textWords(const Bytes& xml) {
    std::vector<std::string> words;
    std::string cur;
    bool inTag = false;
    auto flush = [&] {
        if (!cur.empty())
            words.push_back(cur);
        cur.clear();
    };
    for (uint8_t c : xml) {
        if (c == '<') {
            flush();
            inTag = true;
        } else if (c == '>') {
            inTag = false;
        } else if (!inTag) {
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '.' || c == ',')
                flush();
            else
                cur += static_cast<char>(c);
        }
    }
    flush();
    return words;
}

// Share of the original's words found in the same order in the recovered text (longest common
// subsequence over word lists).
double wordShare(const Bytes& original, const Bytes& recovered) {
    std::unordered_map<std::string, uint32_t> ids;
    auto toIds = [&](const std::vector<std::string>& w) {
        std::vector<uint32_t> out;
        for (const std::string& s : w)
            out.push_back(ids.emplace(s, static_cast<uint32_t>(ids.size())).first->second);
        return out;
    };
    std::vector<uint32_t> a = toIds(textWords(original)), b = toIds(textWords(recovered));
    if (a.empty())
        return 1.0;
    std::vector<uint32_t> prev(b.size() + 1), cur(b.size() + 1);
    for (uint32_t x : a) {
        for (size_t j = 0; j < b.size(); ++j)
            cur[j + 1] = x == b[j] ? prev[j] + 1 : std::max(prev[j + 1], cur[j]);
        std::swap(prev, cur);
    }
    return static_cast<double>(prev[b.size()]) / static_cast<double>(a.size());
}

bool isPrefixOf(const Bytes& part, const Bytes& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

Bytes randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (uint8_t& c : b)
        c = static_cast<uint8_t>(rng());
    return b;
}

// The XML used for damage: one dynamic block of about 120 KB of document text.
const Bytes& damageXml() {
    static const Bytes xml = documentXml(120000, 7);
    return xml;
}
const Bytes& damageStream() {
    static const Bytes comp = deflateRaw(damageXml(), 6);
    return comp;
}

TEST(TolerantInflate, CleanStreamsEqualZlib) {
    struct Input {
        const char* name;
        Bytes bytes;
        bool text;
    };
    Bytes repetitive;
    for (int i = 0; i < 5000; ++i)
        repetitive.push_back(static_cast<uint8_t>("abcabcabd"[i % 9]));
    Bytes mixed = documentXml(40000, 3);
    Bytes noise = randomBytes(30000, 5);
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    // Text checks apply only where the caller says the content is text.
    const std::vector<Input> inputs = {{"empty", {}, true},
                                       {"one byte", {'x'}, true},
                                       {"xml", documentXml(300000, 1), true},
                                       {"random", randomBytes(100000, 2), false},
                                       {"repetitive", repetitive, true},
                                       {"zeros", Bytes(70000, 0), false},
                                       {"xml then noise", mixed, false}};
    struct Setting {
        int level, strategy;
        size_t flushEvery;
        int flush;
    };
    const std::vector<Setting> settings = {{0, Z_DEFAULT_STRATEGY, 0, 0},
                                           {1, Z_DEFAULT_STRATEGY, 0, 0},
                                           {6, Z_DEFAULT_STRATEGY, 0, 0},
                                           {9, Z_DEFAULT_STRATEGY, 0, 0},
                                           {6, Z_FIXED, 0, 0},
                                           {6, Z_HUFFMAN_ONLY, 0, 0},
                                           {6, Z_RLE, 0, 0},
                                           {6, Z_DEFAULT_STRATEGY, 7000, Z_SYNC_FLUSH},
                                           {1, Z_DEFAULT_STRATEGY, 5000, Z_FULL_FLUSH}};
    for (const Input& in : inputs) {
        for (const Setting& s : settings) {
            Bytes comp = deflateRaw(in.bytes, s.level, s.strategy, s.flushEvery, s.flush);
            ASSERT_EQ(inflateZlib(comp), in.bytes) << in.name;
            for (bool text : {false, true}) {
                if (text && !in.text)
                    continue;
                TolerantResult r = inflateTolerant(spanOfBytes(comp), kNoCap, text);
                SCOPED_TRACE(std::string(in.name) + " level " + std::to_string(s.level) +
                             " strategy " + std::to_string(s.strategy) + " flush every " +
                             std::to_string(s.flushEvery) + (text ? " text" : " binary"));
                EXPECT_TRUE(r.bytes == in.bytes);
                EXPECT_TRUE(r.complete);
                EXPECT_EQ(r.damageEvents, 0u);
                EXPECT_EQ(r.bitsSkipped, 0u);
            }
        }
    }
}

TEST(TolerantInflate, OutputCapGivesAPrefix) {
    Bytes xml = documentXml(50000, 4);
    Bytes comp = deflateRaw(xml, 6);
    for (uint64_t cap : {uint64_t(0), uint64_t(1), uint64_t(1000), uint64_t(33333)}) {
        TolerantResult r = inflateTolerant(spanOfBytes(comp), cap, true);
        EXPECT_EQ(r.bytes, Bytes(xml.begin(), xml.begin() + static_cast<long>(cap)));
        EXPECT_FALSE(r.complete);
    }
}

TEST(TolerantInflate, DamageStreamIsOneDynamicBlock) {
    const Bytes& comp = damageStream();
    // BFINAL set and BTYPE 2 in the first header: the whole text is one dynamic block.
    ASSERT_FALSE(comp.empty());
    EXPECT_EQ(comp[0] & 1, 1);
    EXPECT_EQ((comp[0] >> 1) & 3, 2);
}

// Eight distinct bytes of the compressed data (past the block's code tables) XORed with a
// random non-zero value, as damaged copies of document.xml have them.
TEST(TolerantInflate, FlippedBytesInOneBlockKeepMostWords) {
    const Bytes& xml = damageXml();
    const Bytes& comp = damageStream();
    for (uint32_t seed : {1u, 2u, 3u}) {
        std::mt19937 rng(seed);
        Bytes damaged = comp;
        std::vector<size_t> at;
        while (at.size() < 8) {
            size_t p = 256 + rng() % (damaged.size() - 256);
            if (std::find(at.begin(), at.end(), p) == at.end())
                at.push_back(p);
        }
        for (size_t p : at)
            damaged[p] ^= static_cast<uint8_t>(1 + rng() % 255);
        TolerantResult r = inflateTolerant(spanOfBytes(damaged), kNoCap, true);
        double ours = wordShare(xml, r.bytes);
        double zlib = wordShare(xml, inflateZlib(damaged));
        std::printf(
            "[ flipped seed %u ] words kept %.1f%% (zlib %.1f%%), %u damage events, "
            "%llu bits skipped\n",
            seed, 100 * ours, 100 * zlib, r.damageEvents,
            static_cast<unsigned long long>(r.bitsSkipped));
        // The aim is 90 %; what is held here is that it never does worse than zlib, which
        // stops at the first error or copies from the wrong place after it.
        EXPECT_GE(ours, zlib) << "seed " << seed;
        EXPECT_GE(r.damageEvents, 1u);
        EXPECT_FALSE(r.complete);
    }
}

TEST(TolerantInflate, CutOffStreamKeepsEverythingBeforeTheCut) {
    const Bytes& xml = damageXml();
    const Bytes& comp = damageStream();
    for (double share : {0.5, 0.8, 0.95}) {
        Bytes cut(comp.begin(), comp.begin() + static_cast<long>(comp.size() * share));
        TolerantResult r = inflateTolerant(spanOfBytes(cut), kNoCap, true);
        Bytes zlib = inflateZlib(cut);
        EXPECT_TRUE(isPrefixOf(r.bytes, xml)) << share;
        EXPECT_GE(r.bytes.size(), zlib.size()) << share;
        EXPECT_FALSE(r.complete);
        EXPECT_EQ(r.damageEvents, 0u);
    }
}

TEST(TolerantInflate, ZeroedStretchResumesAfterIt) {
    const Bytes& xml = damageXml();
    const Bytes& comp = damageStream();
    Bytes damaged = comp;
    const size_t mid = damaged.size() / 2;
    std::fill(damaged.begin() + static_cast<long>(mid),
              damaged.begin() + static_cast<long>(mid) + 512, 0);
    TolerantResult r = inflateTolerant(spanOfBytes(damaged), kNoCap, true);
    double share = wordShare(xml, r.bytes);
    std::printf("[ zeroed 512 ] words kept %.1f%% (zlib %.1f%%), %u damage events\n", 100 * share,
                100 * wordShare(xml, inflateZlib(damaged)), r.damageEvents);
    EXPECT_GE(share, wordShare(xml, inflateZlib(damaged)));
    EXPECT_GE(r.damageEvents, 1u);
    EXPECT_FALSE(r.complete);
    // Everything well before the stretch is kept as it was.
    EXPECT_TRUE(isPrefixOf(Bytes(xml.begin(), xml.begin() + static_cast<long>(xml.size() * 2 / 5)),
                           r.bytes));
    // Decoding went on past the stretch.
    EXPECT_GT(r.bytes.size(), xml.size() * 3 / 5);
}

// A damaged block header between intact blocks: decoding goes on at the next block. Full
// flushes make each block independent of the history before it.
TEST(TolerantInflate, DamagedBlockHeaderResumesAtTheNextBlock) {
    Bytes xml = documentXml(60000, 9);
    Bytes comp = deflateRaw(xml, 6, Z_DEFAULT_STRATEGY, 20000, Z_FULL_FLUSH);
    // A full flush ends with an empty stored block whose LEN/NLEN are 00 00 FF FF.
    const Bytes marker = {0x00, 0x00, 0xFF, 0xFF};
    auto first = std::search(comp.begin(), comp.end(), marker.begin(), marker.end());
    ASSERT_NE(first, comp.end());
    size_t second = static_cast<size_t>(first - comp.begin()) + 4;
    // The next block is dynamic (BTYPE bits 01 after BFINAL in the low bits): make it type 3.
    ASSERT_EQ((comp[second] >> 1) & 3, 2);
    Bytes damaged = comp;
    damaged[second] |= 0x06;
    TolerantResult r = inflateTolerant(spanOfBytes(damaged), kNoCap, true);
    EXPECT_GE(r.damageEvents, 1u);
    EXPECT_FALSE(r.complete);
    EXPECT_TRUE(isPrefixOf(Bytes(xml.begin(), xml.begin() + 20000), r.bytes));
    Bytes tail(xml.begin() + 40000, xml.end());
    EXPECT_NE(std::search(r.bytes.begin(), r.bytes.end(), tail.begin(), tail.end()), r.bytes.end());
}

TEST(TolerantInflate, StoredBlockWithBadLengthIsDamage) {
    Bytes data = documentXml(3000, 2);
    Bytes comp = deflateRaw(data, 0);
    Bytes damaged = comp;
    damaged[3] ^= 0x01;  // NLEN no longer the complement of LEN
    TolerantResult r = inflateTolerant(spanOfBytes(damaged), kNoCap, true);
    EXPECT_GE(r.damageEvents, 1u);
    EXPECT_FALSE(r.complete);
}

// Hostile input: random bytes, and random bytes behind a valid dynamic header, must finish
// quickly whatever the mode.
TEST(TolerantInflate, RandomInputFinishesQuickly) {
    Bytes header = deflateRaw(documentXml(20000, 5), 6);
    header.resize(300);
    for (uint32_t seed : {11u, 12u, 13u}) {
        Bytes noise = randomBytes(256 << 10, seed);
        Bytes behindHeader = header;
        behindHeader.insert(behindHeader.end(), noise.begin(), noise.end());
        for (const Bytes* in : {&noise, &behindHeader}) {
            for (bool text : {false, true}) {
                auto start = std::chrono::steady_clock::now();
                TolerantResult r = inflateTolerant(spanOfBytes(*in), 64u << 20, text);
                double secs =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                // Generous, so that sanitizer builds pass too: a hang or a quadratic path
                // takes far longer.
                EXPECT_LT(secs, 10.0);
                EXPECT_LE(r.bytes.size(), 64u << 20);
            }
        }
    }
}

}  // namespace
}  // namespace morvel
