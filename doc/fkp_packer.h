#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "doc/property_run.h"

namespace morvel {

// One 512-byte property page of the output and the position at which its last run ends.
struct FkpPage {
    std::array<uint8_t, 512> bytes{};
    uint32_t lastFc = 0;
};

// First file position of the output's property pages, and where its text begins.
inline constexpr uint32_t kOutputFcMin = 1536;
inline constexpr uint32_t kOutputTextStart = 2048;

// Packs character runs (sorted by output position) into character property pages. Runs ending
// before the text are skipped; equal property sets share one copy inside a page. A run whose
// properties cannot be stored in one page has its last sprms marked dropped. `onPageDone` is
// called whenever a full page is closed and a new one begun.
std::vector<FkpPage> packChpxPages(PropertyRuns& runs,
                                   const std::function<void()>& onPageDone = {});

// Packs paragraph runs (sorted by output position) into paragraph property pages; each run
// keeps its 12-byte PHE. A run whose properties cannot be stored in one page loses its last
// sprms.
std::vector<FkpPage> packPapxPages(PropertyRuns& runs,
                                   const std::function<void()>& onPageDone = {});

}  // namespace morvel
