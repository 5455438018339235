#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/cfb_constants.h"

namespace morvel {

class CDocStorage;

// Result of ScanSignature for an RTF file.
inline constexpr int kScanFoundRtf = 10;

// Version codes of ClassifyFormatVersion beyond the Word ones (8, 7, 6, 1, 0, -1).
inline constexpr int kVersionWord97 = 8;
inline constexpr int kVersionBook = 107;
inline constexpr int kVersionWorkbook = 108;
inline constexpr int kVersionUnknown = -1;

// The whole input file in memory, with what the scans found in it: where the compound-file
// header is and, when it is unusable, the FAT sectors, directory and mini FAT rebuilt from
// the patterns these structures always contain. The bytes stay the caller's.
class CFileImage {
  public:
    explicit CFileImage(std::span<const uint8_t> image);

    // Looks for the compound-file signature (at most two of its 8 bytes damaged) and sets
    // headerPos; returns kScanFoundRtf when the file starts like an RTF file.
    int ScanSignature();
    // Takes the sector size from the header at headerPos: 4096 bytes when its sector shift
    // says 12, else 512 (what a version 3 file has, and what is assumed when the field is
    // damaged).
    void TakeSectorShiftFromHeader();
    // Sets the sector geometry the scans and the sector view use.
    void SetSectorShift(int32_t shift);
    // Whether the header DIFAT at headerPos holds only plausible sector numbers.
    bool HeaderLooksSound() const;
    // Rebuilds fatSectors and shift from the FAT-sector markers: 0 done, -1 failed.
    int RebuildFatSectorList();
    // Finds the root directory entry and the mini FAT by their patterns.
    void LocateDirectoryAndMiniFat();
    // Whether the rebuilt values describe a compound file of this sector size: the first FAT
    // sector, and at least half of all, mark themselves as FAT sectors, and the root entry
    // was found in a sector the FAT marks in use.
    bool RebuildChecksOut() const;
    // Position of the first directory entry whose UTF-16 name begins with `pattern` and
    // whose size is usable, with that size in `size`; -1 when there is none.
    int32_t FindDirectoryName(std::span<const uint8_t> pattern, int32_t& size,
                              int64_t from = 0) const;
    // Whether a directory entry holds a stream named exactly `name`: the name found in the
    // text of a document is no entry, so its name length and type must fit too.
    bool HasStreamEntry(std::string_view name) const;
    // 8 Word 97-2003, 6 or 7 Word 6.0/95, 0 or 1 older Word, 107/108 a spreadsheet, -1 none.
    // Reads the directory through a sector view of its own.
    int ClassifyFormatVersion() const;
    // The same, reading the WordDocument stream's FIB through the storage `walkedStorage`
    // gives (its directory read and walked), so a caller that salvages the file anyway reads
    // the directory once. It is asked only when a WordDocument entry exists, and may give
    // null when no sector view can be built.
    int ClassifyFormatVersion(const std::function<const CDocStorage*()>& walkedStorage) const;

    // True once the header was found unusable, so the rebuilt values describe the file.
    bool salvaged() const { return salvaged_; }
    void setSalvaged() { salvaged_ = true; }
    // Image position of a logical offset (the header being at logical offset 0).
    int64_t physical(int64_t logical) const;
    // 32-bit value at an image position, 0 when the 4 bytes are not all inside.
    int32_t readI32(int64_t pos) const;

    std::span<const uint8_t> bytes;
    int32_t size = 0;
    CfbGeometry cfb;
    int32_t sectorCount = 0;  // whole sectors in the image
    int32_t headerPos = 0;
    int32_t shift = 0;  // logical minus image position, set by the rebuild
    std::vector<int32_t> fatSectors;
    int32_t dirStart = kNotFound;      // rebuilt directory start sector
    int32_t miniFatStart = kNotFound;  // rebuilt mini-FAT start sector
    int32_t rootEntryPos = -1;         // image position of the root entry found by name

    static constexpr int32_t kNotFound = -2;  // an end-of-chain marker: an empty chain

  private:
    // Where a rebuilt FAT begins: the image position q of its first plain-chain entry k (q < 0
    // when none was found) and the sector taken as the first FAT sector.
    struct FatStart {
        int64_t q = -1;
        int k = 0;
        int64_t firstFat = 0;
    };

    // Rebuilds the FAT sector list from the FAT-sector markers from `first` on.
    bool rebuildFrom(const std::vector<int64_t>& markers, size_t first, std::vector<int32_t>& list);
    // Finds the FAT's start near the first marker p (`run` markers lie side by side there) and
    // sets the shift when the start fixes it.
    FatStart findFatStart(int64_t p, int64_t run);
    // The FAT sectors the markers number, in FAT order.
    std::vector<int64_t> numberFatSectors(std::span<const int64_t> markers, int64_t run,
                                          const FatStart& start) const;
    // Drops a first number that the FAT itself does not confirm.
    void dropStrayFirstNumber(std::vector<int64_t>& known) const;
    bool marksItself(const std::vector<int32_t>& list) const;
    int64_t sectorOfLogical(int64_t logical) const;
    int64_t shiftedSingleFat(int64_t p, int64_t unshifted);
    // FAT value of sector s through the rebuilt FAT sectors; 0 when they do not cover it.
    int32_t fatValueOf(int64_t s) const;

    bool salvaged_ = false;
};

}  // namespace morvel
