#pragma once

#include <string_view>

namespace morvel {

// The page around every preview's body: UTF-8 text whose white space shows as written.
inline constexpr std::string_view kPreviewPageHead =
    "<html><head><meta charset=\"utf-8\"></head>"
    "<body style=\"white-space: pre-wrap\">";
inline constexpr std::string_view kPreviewPageTail = "</body></html>";

}  // namespace morvel
