#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace morvel::test {

// Small files of every kind the content sniffer tells apart, built byte by byte.

// A Word 97 document (the Word 97 builder's, with a longer text).
std::vector<uint8_t> word97File();
// A Word binary in a compound file with the given nFib (101 Word 6.0, 104 Word 95, 45 Word 2).
std::vector<uint8_t> wordFileWithNFib(uint16_t nFib);
// A Word 97 document whose FIB sets fEncrypted, with the table stream starting with an RC4
// encryption header (rc4) or with XOR obfuscation (fObfuscated) instead.
std::vector<uint8_t> encryptedWord97File(bool rc4);
// A Word 97 document whose fEncrypted bit alone is set, as a flipped bit leaves it: its table
// stream starts with no encryption header.
std::vector<uint8_t> word97WithStrayEncryptedBit();
// Compound files of other programs: a workbook ("Workbook" or, older, "Book"), a presentation,
// an encrypted Office package (EncryptionInfo + EncryptedPackage), and one holding none of
// the streams this program knows.
std::vector<uint8_t> workbookFile(bool old = false);
std::vector<uint8_t> presentationFile();
std::vector<uint8_t> encryptedPackageFile();
std::vector<uint8_t> otherCompoundFile();
// A Word 97 document with a workbook embedded below ObjectPool: still a Word document.
std::vector<uint8_t> word97WithEmbeddedWorkbook();
// ZIP packages: a Word package (the test Word package), a workbook package, a presentation
// package.
std::vector<uint8_t> wordPackageFile();
std::vector<uint8_t> workbookPackageFile();
std::vector<uint8_t> presentationPackageFile();
// Word binaries older than the compound file: Word for DOS, Word for Windows 2.0, Word for
// Macintosh 5.0 (the magic numbers, then text).
std::vector<uint8_t> dosWordFile();
std::vector<uint8_t> winWord2File();
std::vector<uint8_t> macWordFile();
// Text formats.
std::vector<uint8_t> rtfFile();
std::vector<uint8_t> wordXml2003File();
std::vector<uint8_t> flatOpcFile();
std::vector<uint8_t> wordHtmlFile();  // HTML saved by a word processor, office namespaces
std::vector<uint8_t> plainHtmlFile();
std::vector<uint8_t> webArchiveFile();  // a MIME web archive
std::vector<uint8_t> otherXmlFile();
std::vector<uint8_t> utf8TextFile();
std::vector<uint8_t> utf16TextFile(bool littleEndian);
std::vector<uint8_t> latin1TextFile();
// Bytes of no known kind: deterministic noise with plenty of control bytes.
std::vector<uint8_t> noiseFile(size_t n);

// Damage done to a file: its first n bytes zeroed, n bytes of noise put in front, its second
// half cut off.
std::vector<uint8_t> zeroStart(std::vector<uint8_t> bytes, size_t n);
std::vector<uint8_t> prependNoise(const std::vector<uint8_t>& bytes, size_t n);
std::vector<uint8_t> cutInHalf(std::vector<uint8_t> bytes);

}  // namespace morvel::test
