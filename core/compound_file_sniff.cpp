#include "core/compound_file_sniff.h"

#include <string_view>
#include <vector>

#include "doc/doc_salvage.h"
#include "doc/file_image.h"
#include "doc/raw_search.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

constexpr std::string_view kWordStream = "WordDocument";
constexpr std::string_view kWorkbookStream = "Workbook";
constexpr std::string_view kBookStream = "Book";
constexpr std::string_view kPresentationStream = "PowerPoint Document";
constexpr std::string_view kEncryptedPackageStream = "EncryptedPackage";
constexpr std::string_view kEncryptionInfoStream = "EncryptionInfo";

// FIB fields that say a Word binary is encrypted: the flag word at offset 10 holds
// fEncrypted, fWhichTblStm and fObfuscated (XOR obfuscation); both kinds need a password.
constexpr size_t kFibFlagsOffset = 10;
constexpr size_t kFibPrefix = 32;
constexpr uint16_t kFibEncrypted = 0x0100;
constexpr uint16_t kFibObfuscated = 0x8000;

// The top-level names of the container: from the walked directory, else from entries found by
// name in the raw image (what the salvage falls back on when the tree is lost).
struct StreamNames {
    bool word = false, workbook = false, presentation = false, encryptedPackage = false,
         encryptionInfo = false;
};

// Directory entry fields that confirm a name found in the raw image: the name's byte length
// with its terminating NUL, and an entry type of storage or stream.
constexpr size_t kEntryNameField = 64;
constexpr size_t kEntryNameLength = 64;
constexpr size_t kEntryType = 66;
constexpr uint8_t kEntryStorage = 1, kEntryStream = 2;

// Whether the image holds a directory entry of this name: the UTF-16 name with its NUL, the
// matching name length and a storage or stream type. Document text that happens to hold the
// name fails these checks.
bool rawEntryNamed(std::span<const uint8_t> image, std::string_view name) {
    std::vector<uint8_t> pattern = utf16Pattern(name);
    pattern.push_back(0);
    pattern.push_back(0);
    const uint16_t length = static_cast<uint16_t>(pattern.size());
    if (length > kEntryNameField)
        return false;
    for (int64_t at = findBytes(image, 0, pattern); at >= 0;
         at = findBytes(image, at + 1, pattern)) {
        const size_t pos = static_cast<size_t>(at);
        const uint8_t type = readU8(image, pos + kEntryType);
        if (readU16LE(image, pos + kEntryNameLength) == length &&
            (type == kEntryStorage || type == kEntryStream))
            return true;
    }
    return false;
}

StreamNames namesOf(const DocSalvage& s) {
    StreamNames n;
    if (s.storage) {
        for (const CStreamEntry& e : s.storage->entries) {
            if (e.nested)
                continue;
            n.word |= e.name == kWordStream;
            n.workbook |= e.name == kWorkbookStream || e.name == kBookStream;
            n.presentation |= e.name == kPresentationStream;
            n.encryptedPackage |= e.name == kEncryptedPackageStream;
            n.encryptionInfo |= e.name == kEncryptionInfoStream;
        }
    }
    // Without a readable directory the entries are looked for in the raw image.
    if (s.image && !n.word && !n.workbook && !n.presentation && !n.encryptedPackage) {
        const std::span<const uint8_t> image = s.image->bytes;
        n.word = rawEntryNamed(image, kWordStream);
        n.workbook = rawEntryNamed(image, kWorkbookStream) || rawEntryNamed(image, kBookStream);
        n.presentation = rawEntryNamed(image, kPresentationStream);
        n.encryptedPackage = rawEntryNamed(image, kEncryptedPackageStream);
        n.encryptionInfo = rawEntryNamed(image, kEncryptionInfoStream);
    }
    return n;
}

// Whether a table stream starts with the version of an RC4 or CryptoAPI encryption header
// (1.1, or 2.2, 3.2, 4.2).
bool startsWithEncryptionHeader(const CDocStorage& storage, const CStreamEntry& table) {
    uint8_t head[4] = {};
    if (storage.ReadAvailable(table, head, 0) != sizeof head)
        return false;
    const uint16_t major = readU16LE(head, 0), minor = readU16LE(head, 2);
    return (major == 1 && minor == 1) || (major >= 2 && major <= 4 && minor == 2);
}

// Whether the Word document is encrypted. A flipped fEncrypted bit alone must not cost a
// damaged document its text, so for Word 97 the bit counts when the XOR flag is set too, or
// the table stream starts with an encryption header, or there is no table stream to check.
bool wordEncrypted(const DocSalvage& s, bool word97) {
    if (!s.storage)
        return false;
    const CStreamEntry* word = s.storage->wordDocument();
    if (word == nullptr)
        return false;
    uint8_t fib[kFibPrefix] = {};
    if (s.storage->ReadAvailable(*word, fib, 0) != static_cast<int64_t>(sizeof fib))
        return false;
    const uint16_t flags = readU16LE(fib, kFibFlagsOffset);
    if ((flags & kFibEncrypted) == 0)
        return false;
    if (!word97 || (flags & kFibObfuscated) != 0)
        return true;
    const CStreamEntry* table0 = s.storage->table0();
    const CStreamEntry* table1 = s.storage->table1();
    if (table0 == nullptr && table1 == nullptr)
        return true;
    return (table0 != nullptr && startsWithEncryptionHeader(*s.storage, *table0)) ||
           (table1 != nullptr && startsWithEncryptionHeader(*s.storage, *table1));
}

ContentFormat wordFormat(const DocSalvage& s) {
    if (s.version == 6 || s.version == 7)
        return wordEncrypted(s, false) ? ContentFormat::EncryptedWord : ContentFormat::Word6or95;
    if (s.version == 0 || s.version == 1)
        return ContentFormat::Word2;
    // Word 97-2003, or a FIB too damaged to say: the Word 97 engine is the one to try.
    return wordEncrypted(s, true) ? ContentFormat::EncryptedWord : ContentFormat::Word97;
}

}  // namespace

std::optional<CompoundSniff> sniffCompoundFile(std::span<const uint8_t> bytes) {
    DocContext ctx;
    const DocSalvage s = SalvageDocFile(bytes, ctx, /*keepGoing=*/true);
    if (!s.image || s.result == kSalvageRtf)
        return std::nullopt;
    CompoundSniff out;
    out.rebuilt = s.image->salvaged();
    out.headerPos = out.rebuilt ? 0 : s.image->headerPos;
    // The salvage gives up before reading names when a lost header cannot be rebuilt.
    if (out.rebuilt && !s.compound)
        return std::nullopt;

    // Other programs' files are refused, so only their own directory entries say so: a Word
    // document is what a damaged file with a Word version or a WordDocument entry is.
    const StreamNames names = namesOf(s);
    const bool wordVersion = s.version >= 0 && s.version <= kVersionWord97;
    if (names.encryptedPackage && names.encryptionInfo && !names.word)
        out.format = ContentFormat::EncryptedPackage;
    else if (names.word || (wordVersion && !names.workbook && !names.presentation))
        out.format = wordFormat(s);
    else if (names.workbook)
        out.format = ContentFormat::ExcelWorkbook;
    else if (names.presentation)
        out.format = ContentFormat::PowerPoint;
    else if (out.rebuilt)
        return std::nullopt;  // sector markers in some other file, not a container
    else
        out.format = ContentFormat::OtherCompoundFile;
    return out;
}

}  // namespace morvel
