#include "tests/support/hostile_doc.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "docwriter/recover_doc_file.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

// Crafted files whose structures multiply each other's sizes: each must be recovered (or
// refused) in time that grows about linearly. The bounds are generous, many times what the
// recovery takes, and catch a path that has turned quadratic.
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
    };
    test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> file = c.make();
        DocContext ctx;
        RecoverDocFindings findings;
        const auto started = std::chrono::steady_clock::now();
        const int rc = RecoverDocFile(file, dir.path() / "out.doc", ctx, &findings);
        const double took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_EQ(rc, c.expected);
        EXPECT_LT(took, c.seconds);
    }
}

}  // namespace
}  // namespace morvel
