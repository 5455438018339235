#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "docx/local_entry.h"
#include "platform/finding_grade.h"

namespace morvel {

enum class ZipRecordKind : uint8_t { LocalHeader, CentralHeader, EndRecord, Archive };
enum class CrcState : uint8_t { Unchecked, Ok, Failed };

// One record the salvage met or one decision it took, for `inspect`.
struct ZipFinding {
    ZipRecordKind kind = ZipRecordKind::LocalHeader;
    uint64_t offset = 0;
    std::string name;  // at most kFindingNameLimit bytes of the record's name
    uint16_t method = 0;
    CrcState crc = CrcState::Unchecked;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    bool accepted = false;                    // the record gave an intact entry
    EntrySource source = EntrySource::Local;  // which map supplied it, when accepted
    FindingGrade grade = FindingGrade::None;
    std::string_view message;  // one of the fixed messages below
};

inline constexpr size_t kFindingNameLimit = 128;
// Past this many findings only a note that more were left out is added.
inline constexpr size_t kFindingLimit = 100000;

std::string_view recordKindName(ZipRecordKind kind);
std::string_view crcStateName(CrcState state);
std::string_view entrySourceName(EntrySource source);

// The fixed messages a finding carries.
namespace zipfinding {
inline constexpr std::string_view kAccepted = "entry intact";
inline constexpr std::string_view kImplausibleName = "implausible entry name";
inline constexpr std::string_view kUnsupportedMethod =
    "compression method other than stored or deflate";
inline constexpr std::string_view kEncrypted = "encrypted entry";
inline constexpr std::string_view kCutOff = "data runs past the end of the file";
inline constexpr std::string_view kCrcMismatch = "CRC or sizes do not match the data";
inline constexpr std::string_view kStreamBroken = "deflate stream is broken";
inline constexpr std::string_view kTooLarge = "stream yields more than the declared size";
inline constexpr std::string_view kImpossibleSize = "declared size beyond what the data can hold";
inline constexpr std::string_view kNoData = "no data for a non-empty entry";
inline constexpr std::string_view kNoDescriptor = "deferred sizes with no matching data descriptor";
inline constexpr std::string_view kOverSized = "entry too large to hold";
inline constexpr std::string_view kOutOfBudget = "inflate budget exhausted; entry not checked";
inline constexpr std::string_view kStoredSizesDisagree =
    "stored sizes disagree; the true size was kept";
inline constexpr std::string_view kDescriptorResolved = "sizes taken from the data descriptor";
inline constexpr std::string_view kFromCentral =
    "local header damaged; entry read through its central record";
inline constexpr std::string_view kCentralConfirms = "central record agrees with its local entry";
inline constexpr std::string_view kCentralDisagrees =
    "central record disagrees with its local entry";
inline constexpr std::string_view kCentralForeign =
    "central record points at another entry's local header";
inline constexpr std::string_view kCentralOutside = "central record points outside the file";
inline constexpr std::string_view kNested = "entry lies inside another entry's data; left out";
inline constexpr std::string_view kDamagedKept = "damaged entry kept for decoding";
inline constexpr std::string_view kEndRecord = "end of central directory";
inline constexpr std::string_view kNoEntries = "no intact entry found";
inline constexpr std::string_view kTooManyFindings = "further findings left out";
}  // namespace zipfinding

}  // namespace morvel
