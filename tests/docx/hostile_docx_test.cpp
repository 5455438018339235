#include <gtest/gtest.h>

#include <ctime>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "docx/office_broken_repair_2007.h"
#include "tests/support/hostile_inputs.h"
#include "tests/support/test_files.h"
#include "tests/support/time_bounds.h"

namespace morvel {
namespace {

using test::kSlowdown;

double cpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Crafted packages that once made the salvage or the rebuild quadratic: both packages are
// built, in a time many times what they take now, so a path that turns quadratic again (or a
// walk that does not end) fails here rather than hanging a user's batch. The heavier cases
// (GiB-sized parts) are measured by the hostile-input survey in bench/, not here.
TEST(HostileDocx, BothPackagesBuiltInBoundedTime) {
    const std::set<std::string> bounded = {"stored_headers_to_end", "overlapping_headers",
                                           "many_entries", "token_flood"};
    const std::vector<uint8_t> store = test::readFile(MORVEL_TEMPLATE_STORE);
    for (const test::HostileInput& input : test::hostileDocxInputs()) {
        if (!bounded.count(input.name))
            continue;
        SCOPED_TRACE(input.name);
        const std::vector<uint8_t> bytes = input.make(1);
        const double start = cpuSeconds();
        OfficeBrokenRepair_2007 engine;
        engine.OpenDamaged(std::span<const uint8_t>(bytes));
        ASSERT_EQ(engine.LoadTemplateStore(store.data(), static_cast<uint32_t>(store.size())), 0);
        std::vector<uint8_t> text, full;
        engine.WriteTextPackage(text);
        engine.WriteFullPackage(full);
        const double spent = cpuSeconds() - start;
        // Each took from 8 s to over 15 minutes before; now at most a few seconds.
        EXPECT_LT(spent, 20 * kSlowdown) << "CPU seconds";
    }
}

}  // namespace
}  // namespace morvel
