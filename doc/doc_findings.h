#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/finding_grade.h"

namespace morvel {

// One defect the .doc salvage met and what it did about it, recorded where the decision is
// taken. `at` says where (a sector, page or piece number, or a stream offset); -1 when no
// single place applies.
struct DocFinding {
    FindingGrade grade = FindingGrade::None;
    std::string_view message;  // one of the fixed messages below
    int64_t at = -1;
};

// The findings of one document, in the order they were made.
class DocFindings {
  public:
    // Past this many only a note that more were left out is added.
    static constexpr size_t kLimit = 1000;

    void note(FindingGrade grade, std::string_view message, int64_t at = -1);
    const std::vector<DocFinding>& list() const { return list_; }
    bool empty() const { return list_.empty(); }
    // Whether a finding with this message was made.
    bool has(std::string_view message) const;
    void append(const DocFindings& other);
    void clear() { list_.clear(); }

  private:
    std::vector<DocFinding> list_;
};

// The fixed messages a .doc finding carries.
namespace docfinding {
inline constexpr std::string_view kHeaderRebuilt =
    "compound-file header unusable; its values were rebuilt from the sectors";
inline constexpr std::string_view kStaleRootSkipped =
    "stale root directory entry in a free sector skipped";
inline constexpr std::string_view kFatSectorGuessed =
    "FAT sector lost; its chains were guessed as sequential";
inline constexpr std::string_view kFatValuesRepaired =
    "FAT value out of range; the next sector was guessed";
inline constexpr std::string_view kFatInvalid = "FAT holds too many damaged values";
inline constexpr std::string_view kChainGuessed =
    "stream chain broken; it was continued with the next sector";
inline constexpr std::string_view kStreamCutShort = "stream cut short: its chain ends early";
inline constexpr std::string_view kNameRepaired =
    "damaged stream name read as the Word stream it nearly spells";
inline constexpr std::string_view kTreeWalkFailed =
    "directory tree broken; streams were found by name or content";
inline constexpr std::string_view kFibRebuilt = "FIB implausible; it was rebuilt from the streams";
inline constexpr std::string_view kFibUnusable = "FIB implausible and could not be rebuilt";
inline constexpr std::string_view kPieceRefused =
    "piece descriptor outside the WordDocument stream refused";
inline constexpr std::string_view kPieceRepaired =
    "piece descriptor outside the WordDocument stream; placed after the piece before it";
inline constexpr std::string_view kPieceTableLost =
    "no usable piece table; the text was read from the FIB's text start";
inline constexpr std::string_view kFkpPageRefused = "property page refused";
inline constexpr std::string_view kBinTableLost =
    "property bin table outside the table stream; formatting dropped";
inline constexpr std::string_view kTableStreamMissing = "the table stream the FIB names is missing";
inline constexpr std::string_view kSalvageFailed = "compound file could not be salvaged";
inline constexpr std::string_view kTooManyFindings = "further findings left out";
}  // namespace docfinding

}  // namespace morvel
