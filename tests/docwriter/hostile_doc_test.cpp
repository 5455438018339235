#include "tests/support/hostile_doc.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>

#include "docwriter/recover_doc_file.h"
#include "tests/support/test_files.h"
#include "tests/support/time_bounds.h"

namespace morvel {
namespace {

using test::AbsurdValue;
using test::LoopedChain;

using test::kSlowdown;

// Crafted files whose structures loop, or multiply each other's sizes: each must be recovered
// (or refused, or kept as text, when its values leave no readable structure) in time that
// grows about linearly with the file. The bounds are generous,
// many times what the recovery takes, and catch a path that has turned quadratic or a walk
// that does not end.
TEST(HostileDoc, RecoveredInLinearTime) {
    struct Case {
        const char* what;
        std::function<std::vector<uint8_t>()> make;
        int expected;
        double seconds;
    } cases[] = {
        // 25,000 pieces and a million runs took 18 s when each run end was looked up by a
        // scan of the pieces.
        {"many pieces, many runs",
         [] { return test::makeManyPiecesManyRunsDoc(25'000, 1'000'000); }, kRecoverDocWritten, 10},
        // 200,000 characters and 20,000 rejected paragraph pages took 16 s when every page's
        // range was scanned in full.
        {"rejected paragraph pages",
         [] { return test::makeRejectedParagraphPagesDoc(10, 200'000, 20'000); },
         kRecoverDocWritten, 10},
        {"rejected pages, many pieces",
         [] { return test::makeRejectedParagraphPagesDoc(50'000, 50'000, 50'000); },
         kRecoverDocWritten, 10},
        {"a million pieces", [] { return test::makeManyPiecesManyRunsDoc(1'000'000, 10'000); },
         kRecoverDocWritten, 20},
        {"a million directory entries", [] { return test::makeManyDirectoryEntriesDoc(1'000'000); },
         kRecoverDocWritten, 20},
        {"FAT loop", [] { return test::makeLoopedChainDoc(LoopedChain::Fat, 10'000); },
         kRecoverDocWritten, 10},
        {"DIFAT loop", [] { return test::makeLoopedChainDoc(LoopedChain::Difat, 20'000); },
         kRecoverDocWritten, 10},
        {"mini FAT loop", [] { return test::makeLoopedChainDoc(LoopedChain::MiniFat, 10'000); },
         kRecoverDocWritten, 10},
        {"directory loop", [] { return test::makeLoopedChainDoc(LoopedChain::Directory, 10'000); },
         kRecoverDocWritten, 10},
        {"absurd sector shift",
         [] { return test::makeAbsurdValuesDoc(AbsurdValue::SectorShift, 10'000); },
         kRecoverDocWritten, 10},
        {"absurd FAT counts",
         [] { return test::makeAbsurdValuesDoc(AbsurdValue::FatCounts, 10'000); },
         kRecoverDocWritten, 10},
        {"absurd stream sizes",
         [] { return test::makeAbsurdValuesDoc(AbsurdValue::StreamSizes, 10'000); },
         kRecoverDocTextOnly, 10},
        {"absurd sector numbers",
         [] { return test::makeAbsurdValuesDoc(AbsurdValue::SectorNumbers, 10'000); },
         kRecoverDocNotWord97, 10},
        {"absurd FIB counts",
         [] { return test::makeAbsurdValuesDoc(AbsurdValue::FibCounts, 10'000); },
         kRecoverDocTextOnly, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> file = c.make();
        DocContext ctx;
        const auto started = std::chrono::steady_clock::now();
        std::vector<uint8_t> out;
        const int rc = RecoverDocFile(file, out, ctx).code;
        const double took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::printf("%-30s %10zu bytes  rc %3d  %.3f s\n", c.what, file.size(), rc, took);
        EXPECT_EQ(rc, c.expected);
        EXPECT_LT(took, c.seconds * kSlowdown);
    }
}

}  // namespace
}  // namespace morvel
