#pragma once

#include <cstdint>

namespace morvel {

// A reader of one Word binary document. It is created on the document's streams, reads the
// whole document once with ReadDocument and is then handed to a writer.
class CDoc {
  public:
    virtual ~CDoc() = default;
    // Reads the piece table and the text of every piece into the reader's text buffer.
    virtual void vReadPiecesText(uint32_t codePage) = 0;
    // The whole read; returns the version code of the FIB, or -1.
    virtual int ReadDocument(uint32_t codePage) = 0;
    // Paragraph and character properties; a negative result ends the read.
    virtual int ReadPapProperty() = 0;
    virtual int ReadChpProperty() = 0;
    // Last step of the read: the picture pass, then the packing of the character runs.
    virtual void vMakeChpxFkp() = 0;
    // Type code of the picture data at that place of the Data stream, or -1.
    virtual int GetPictureType(int32_t offset, int32_t length) = 0;
};

}  // namespace morvel
