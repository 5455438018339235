#include "core/text_extraction.h"

#include "core/filtered_text_scan.h"
#include "core/raw_text_scan.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "tests/support/filtered_text_reference.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

// The rescanning reference reads a file thousands of times; under the sanitizers that takes
// minutes, so there it is only run on smaller inputs.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kReferenceLimit = 16 * 1024;
constexpr int kRandomRounds = 10;
#else
constexpr size_t kReferenceLimit = SIZE_MAX;
constexpr int kRandomRounds = 40;
#endif

struct Extracted {
    std::vector<uint8_t> raw;
    std::vector<uint8_t> filtered;
    DocumentRecord record;
};

Extracted extract(const std::vector<uint8_t>& bytes, const ManualResetEvent* stop = nullptr,
                  ProgressModel* progress = nullptr) {
    Extracted e;
    e.record.fileData = bytes;
    e.record.fileSize = static_cast<uint32_t>(bytes.size());
    e.record.stopEvent = stop;
    RecoveryEnvironment env;
    env.progress = progress;
    ExtractRawText(e.record, env);
    ExtractFilteredText(e.record, env);
    e.raw = *e.record.rawText;
    e.filtered = *e.record.filteredData;
    return e;
}

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<uint8_t> repeat(const std::string& unit, size_t times) {
    std::string s;
    for (size_t i = 0; i < times; ++i)
        s += unit;
    return test::bytesOf(s);
}

std::vector<uint8_t> text(const std::string& s) {
    return test::bytesOf(s);
}
std::vector<uint8_t> nul(size_t n = 2) {
    return std::vector<uint8_t>(n, 0);
}

std::vector<uint8_t> utf16(const std::string& s) {
    std::vector<uint8_t> out;
    for (char c : s) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

std::string str(const std::vector<uint8_t>& v) {
    return std::string(v.begin(), v.end());
}

TEST(RawText, NormalisesLineEndsAndDropsControlBytes) {
    struct Case {
        std::vector<uint8_t> in;
        std::string out;  // without the NUL
    } cases[] = {
        {text("a\r\nb"), "a\r\nb"},
        {text("a\rb"), "a\r\nb"},
        {text("a\nb"), "a\r\nb"},
        {text("a\fb"), "a\r\nb"},
        {text("a\r\r\nb"), "a\r\n\r\nb"},
        {text("a\tb\x0b"
              "c\x07"
              "d"),
         "abcd"},
        {text("ab\r"), "ab"},  // a non-text byte at the very end is dropped
        {text("ab\n"), "ab"},
        {concat({utf16("ABC")}), "ABC"},
        {{'x', 0x80, 0xFF, 0x7F, 'y'}, "xy"},
        {{}, ""},
    };
    for (const auto& c : cases) {
        Extracted e = extract(c.in);
        EXPECT_EQ(str(e.raw), c.out + std::string(1, '\0'));
        EXPECT_EQ(e.record.rawTextLength, c.out.size() + 1);
        EXPECT_EQ(e.raw, test::rawTextReference(c.in));
    }
}

// The scans work on blocks of 16 (raw) and 64 (filtered) bytes: every line end, run end and
// CR is tried at every position across two block boundaries, on both raw scan paths.
TEST(TextExtraction, AgreesWithTheSlowAlgorithmsAcrossBlockBoundaries) {
    const std::vector<std::vector<uint8_t>> endings = {
        text("\r\n"),      text("\r"),     text("\r\r\n"),  text("\n\f"),
        {'\r', 0x80, 'x'}, {'x', '\r', 0}, {'\r', 0, '\n'}, {0x01, 0xFF},
    };
    std::vector<RawScanPath> paths = {RawScanPath::Portable};
    if (rawScanPathAvailable(RawScanPath::Ssse3))
        paths.push_back(RawScanPath::Ssse3);
    for (const auto& ending : endings) {
        for (size_t offset = 0; offset < 140; ++offset) {
            // A run of `offset` letters (with a stepped-over byte in it) ending as given, then a
            // shorter paragraph a block further on, so that which one wins depends on where the
            // first one ends.
            std::vector<uint8_t> in = concat({nul(1),
                                              repeat("a", offset / 2),
                                              {0x90},
                                              repeat("b", offset - offset / 2),
                                              ending,
                                              nul(),
                                              text("cdefg\r"),
                                              nul()});
            SCOPED_TRACE(testing::Message() << "ending " << str(ending) << " at " << offset);
            Extracted e = extract(in);
            const std::vector<uint8_t> filtered = test::filteredTextByRescanning(in);
            ASSERT_EQ(e.filtered, filtered);
            for (RawScanPath path : paths) {
                ASSERT_EQ(BuildRawText(in, path), test::rawTextReference(in));
                ASSERT_EQ(BuildFilteredText(in, path), filtered);
            }
        }
    }
    // A run longer than 1000 bytes needs no CR, wherever it ends.
    for (size_t length = 1001; length < 1001 + 130; ++length) {
        std::vector<uint8_t> in = concat({repeat("z", length), nul(), text("ab\r"), nul()});
        ASSERT_EQ(extract(in).filtered, test::filteredTextByRescanning(in)) << length;
    }
}

std::vector<RawScanPath> scanPaths() {
    std::vector<RawScanPath> paths = {RawScanPath::Portable};
    if (rawScanPathAvailable(RawScanPath::Ssse3))
        paths.push_back(RawScanPath::Ssse3);
    return paths;
}

// The filtered text is normalised 16 bytes at a time. UTF-16LE text puts a zero byte (stepped
// over) beside every character: line ends, control bytes, high bytes and run ends are tried at
// every position of a block, at both byte parities, next to the end of the file and of the run.
// Both paragraphs are longer than the first threshold, so the reference reads the file once.
TEST(FilteredText, AgreesWithTheSlowAlgorithmOnUtf16AcrossBlockBoundaries) {
    const std::vector<std::string> middles = {"\r\n", "\r",       "\n",   "\f",  "\r\r\n",
                                              "\x01", "\r\x01\n", "\t\r", "\n\r"};
    const std::string lead(4000, 'p');  // 4000 run bytes: more than the first threshold
    for (const std::string& middle : middles) {
        for (size_t offset = 0; offset < 34; ++offset) {
            for (size_t odd = 0; odd < 2; ++odd) {
                const std::string body = lead + std::string(offset, 'a') + middle + "bbb";
                // Between the paragraphs, a short run (never collected) that begins with the
                // middle's bytes, inside the block where the first paragraph ends.
                std::vector<uint8_t> in =
                    concat({nul(1 + odd), utf16(body), nul(), text(middle + "q"), nul(),
                            utf16(lead + middle + "w\r"), nul()});
                // The same text with a high byte in place of the zero after the middle's first
                // character: stepped over just the same.
                std::vector<uint8_t> stepped = in;
                stepped[1 + odd + 2 * (lead.size() + offset) + 1] = 0xE9;
                // And the file ending inside the zeros after the last run.
                std::vector<uint8_t> cut(in.begin(), in.end() - 1);
                for (const auto* v : {&in, &stepped, &cut}) {
                    SCOPED_TRACE(testing::Message() << "middle " << str(text(middle)) << " at "
                                                    << offset << (odd ? " odd" : " even"));
                    const std::vector<uint8_t> expected = test::filteredTextByRescanning(*v);
                    for (RawScanPath path : scanPaths())
                        ASSERT_EQ(BuildFilteredText(*v, path), expected);
                }
            }
        }
    }
}

TEST(FilteredText, CollectsAtTheFirstThresholdThatFindsARun) {
    const auto para500 = concat({repeat("x", 498), text("\r\n")});  // 500 bytes, ends in CR LF
    const auto plain500 = repeat("y", 500);                         // no CR at its end
    const auto long1200 = repeat("z", 1200);                        // long enough without CR
    const auto long4000 = repeat("w", 4000);
    struct Case {
        const char* name;
        std::vector<uint8_t> in;
        std::string out;
    } cases[] = {
        {"run over 3959 taken in the first pass", concat({long4000, nul()}), str(long4000)},
        {"500-byte paragraph found once T < 500", concat({para500, nul(), text("short\r"), nul()}),
         str(para500)},
        {"500 bytes without CR never qualify", concat({plain500, nul()}), ""},
        {"run over 1000 needs no CR", concat({long1200, nul(), para500, nul()}), str(long1200)},
        {"open run at the end is dropped", concat({long4000}), ""},
        {"UTF-16LE text forms one run", concat({utf16(str(para500)), nul()}), str(para500)},
        {"high bytes end a run; the short paragraph wins",
         concat({repeat("q", 600), {0x80, 0x90}, text("ab\r\n"), nul()}), "ab\r\n"},
        {"only runs of the winning length",
         concat({para500, nul(), repeat("v", 450), text("\r\n"), nul()}), str(para500)},
        {"empty file", {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Extracted e = extract(c.in);
        EXPECT_EQ(str(e.filtered), c.out + std::string(1, '\0'));
        EXPECT_EQ(e.filtered, test::filteredTextByRescanning(c.in));
    }
}

TEST(FilteredText, MatchesRescanningOnRandomDocumentsLikeBytes) {
    std::mt19937 rng(7);
    for (int round = 0; round < kRandomRounds; ++round) {
        std::vector<uint8_t> in;
        int pieces = 1 + static_cast<int>(rng() % 12);
        for (int p = 0; p < pieces; ++p) {
            size_t len = rng() % 1500;
            bool wide = rng() % 3 == 0;
            for (size_t i = 0; i < len; ++i) {
                uint8_t c = static_cast<uint8_t>(rng() % 8 == 0 ? "\r\n\f\t\x01"[rng() % 5]
                                                                : 'a' + rng() % 26);
                in.push_back(c);
                if (wide)
                    in.push_back(0);
            }
            if (rng() % 2)
                in.push_back(0x0D);
            for (uint32_t k = rng() % 4; k > 0; --k)
                in.push_back(static_cast<uint8_t>(rng() % 2 ? 0 : 0x80 + rng() % 128));
        }
        ASSERT_EQ(extract(in).filtered, test::filteredTextByRescanning(in)) << "round " << round;
        ASSERT_EQ(extract(in).raw, test::rawTextReference(in)) << "round " << round;
    }
}

TEST(TextExtraction, EqualsTheSlowAlgorithmsOnEveryCorpusDocument) {
    auto files = test::corpusFiles("doc");
    if (files.empty())
        GTEST_SKIP() << "corpus not present";
    for (const auto& f : files) {
        SCOPED_TRACE(f.filename().string());
        auto bytes = test::readFile(f);
        Extracted e = extract(bytes);
        EXPECT_EQ(e.raw, test::rawTextReference(bytes));
        if (bytes.size() <= kReferenceLimit) {
            EXPECT_EQ(e.filtered, test::filteredTextByRescanning(bytes));
        }
    }
}

TEST(TextExtraction, FillsTheProgressBarInTenSteps) {
    ProgressModel progress;
    progress.setPosition(0);
    Extracted e = extract(text("hello"), nullptr, &progress);
    EXPECT_EQ(progress.steps(), 10);
    EXPECT_EQ(progress.position(), 10);
    EXPECT_EQ(e.record.success, 1u);
    EXPECT_EQ(e.record.resultsReady, 1u);
}

TEST(TextExtraction, StopEventCancelsBothStepsAndKeepsTheText) {
    ManualResetEvent stop(true);
    Extracted e = extract(text("hello\r\n"), &stop);
    EXPECT_EQ(e.record.success, 0u);
    EXPECT_EQ(e.record.resultsReady, 0u);
    EXPECT_EQ(str(e.raw), std::string("hello\r\n") + '\0');
}

}  // namespace
}  // namespace morvel
