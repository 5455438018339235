#include "docx/part_report.h"

#include <algorithm>

namespace morvel {

namespace {

constexpr std::string_view kMediaFolder = "word/media/";

// What a rebuilt part is called in the summary line.
std::string rebuiltPartLabel(std::string_view name) {
    if (name == "[Content_Types].xml")
        return "content types rebuilt";
    if (name == "_rels/.rels")
        return "package relationships rebuilt";
    if (name == "word/_rels/document.xml.rels")
        return "document relationships rebuilt";
    return std::string(name) + " rebuilt";
}

std::string countOf(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string_view partStateName(PartState state) {
    switch (state) {
        case PartState::Intact:
            return "intact";
        case PartState::Repaired:
            return "repaired";
        case PartState::Partial:
            return "partial";
        case PartState::Synthesised:
            return "synthesised";
        case PartState::FromTemplate:
            return "template";
        case PartState::LeftOut:
            return "left-out";
    }
    return "intact";
}

std::string PackageReport::summary() const {
    std::vector<std::string> items;
    size_t imagesLost = 0, otherLost = 0, fromTemplate = 0;
    std::string firstOtherLost, firstFromTemplate;
    for (const PartReport& p : parts) {
        switch (p.state) {
            case PartState::Intact:
                break;
            case PartState::Repaired:
                items.push_back(p.name + ": repaired");
                break;
            case PartState::Partial: {
                std::string item = p.name + ": partial";
                if (p.declaredBytes != 0) {
                    const uint64_t percent =
                        std::min<uint64_t>(p.decodedBytes, p.declaredBytes) * 100 / p.declaredBytes;
                    item += ", " + std::to_string(percent) + " % decoded";
                }
                items.push_back(item);
                break;
            }
            case PartState::Synthesised:
                items.push_back(rebuiltPartLabel(p.name));
                break;
            case PartState::FromTemplate:
                if (fromTemplate++ == 0)
                    firstFromTemplate = p.name;
                break;
            case PartState::LeftOut:
                if (std::string_view(p.name).starts_with(kMediaFolder))
                    ++imagesLost;
                else if (otherLost++ == 0)
                    firstOtherLost = p.name;
                break;
        }
    }
    if (imagesLost != 0)
        items.push_back(countOf(imagesLost, "image", "images") + " lost");
    if (otherLost == 1)
        items.push_back(firstOtherLost + " lost");
    else if (otherLost > 1)
        items.push_back(countOf(otherLost, "part", "parts") + " lost");
    if (fromTemplate == 1)
        items.push_back(firstFromTemplate + " from the template");
    else if (fromTemplate > 1)
        items.push_back(countOf(fromTemplate, "part", "parts") + " from the template");
    if (inflateBudgetExhausted)
        items.push_back("size limit reached, later parts not decoded");
    std::string line;
    for (const std::string& item : items)
        line += (line.empty() ? "" : "; ") + item;
    return line;
}

}  // namespace morvel
