#pragma once

#include <cstdint>
#include <string_view>

namespace morvel {

// What a file's bytes were found to be, whatever its name says.
enum class ContentFormat : uint8_t {
    Unknown,            // nothing recognised
    Empty,              // no bytes at all
    Word97,             // Word 97-2003 binary in a compound file
    Word6or95,          // Word 6.0/95 binary in a compound file
    Word2,              // Word for Windows 1.x/2.0 binary
    WordDos,            // Word for DOS (or Write) binary
    WordMac,            // Word for Macintosh 1.0-5.x binary
    EncryptedWord,      // a Word binary whose FIB says it is encrypted
    EncryptedPackage,   // an Office package encrypted inside a compound file
    ExcelWorkbook,      // a workbook, binary or package
    PowerPoint,         // a presentation, binary or package
    OtherCompoundFile,  // a compound file without any stream this program knows
    WordPackage,        // a ZIP package: the .docx engine's business
    Rtf,                // Rich Text Format
    WordXml2003,        // WordprocessingML 2003 XML
    FlatOpc,            // a Word package flattened into one XML file
    OtherXml,           // XML of some other kind
    Html,               // HTML (also MIME web archives)
    PlainText           // text in UTF-8, UTF-16 with a byte-order mark, or an 8-bit code page
};

// A short stable name of the kind, for scripts ("word97", "rtf", ...).
std::string_view contentFormatName(ContentFormat f);

}  // namespace morvel
