#include "core/doc_preview.h"

#include <vector>

#include "core/preview_page.h"
#include "doc/c_doc8.h"
#include "doc/doc_salvage.h"
#include "doc/fkp_packer.h"
#include "doc/property_run.h"
#include "platform/le_reader.h"
#include "platform/utf8.h"
#include "platform/xml_escape.h"

namespace morvel {

namespace {

// Characters with a meaning in the document text.
constexpr uint16_t kCellMark = 0x07;
constexpr uint16_t kTab = 0x09;
constexpr uint16_t kLineBreak = 0x0B;
constexpr uint16_t kPageBreak = 0x0C;
constexpr uint16_t kParagraphEnd = 0x0D;
constexpr uint16_t kFieldBegin = 0x13;
constexpr uint16_t kFieldSeparator = 0x14;
constexpr uint16_t kFieldEnd = 0x15;
constexpr uint16_t kNonBreakingHyphen = 0x1E;

// Character sprms of the looks the preview shows.
constexpr uint16_t kSprmBold = 0x0835;
constexpr uint16_t kSprmItalic = 0x0836;
constexpr uint16_t kSprmUnderline = 0x2A3E;

// One character as HTML text: markup characters escaped, the rest as UTF-8.
void appendHtmlCharacter(std::string& out, uint32_t cp) {
    if (cp < 0x80)
        appendXmlEscaped(out, static_cast<char>(cp));
    else
        appendUtf8(out, cp);
}

// Builds the HTML: paragraphs, and tables from the cell marks. A cell mark ends a cell; one
// right after another (with nothing between) ends the row. The text alone cannot tell an empty
// last cell from the row's end, nor the first paragraphs of a row's first cell from text
// before the table, so such cells come out slightly shifted; the text is all there.
class DocTextWriter {
  public:
    void character(uint32_t c, CharacterLook look = {}) {
        paragraphOpen_ = true;
        afterCellMark_ = false;
        setLook(look);
        appendHtmlCharacter(paragraph_, c);
    }
    void lineBreak() {
        paragraphOpen_ = true;
        afterCellMark_ = false;
        paragraph_ += "<br/>";
    }
    void paragraphEnd() {
        std::string html = takeParagraph();
        afterCellMark_ = false;
        if (rowOpen_) {
            cell_ += html;
        } else {
            closeTable();
            out_ += html;
        }
    }
    void cellMark() {
        if (afterCellMark_ && !paragraphOpen_ && cell_.empty()) {
            out_ += "</tr>";
            rowOpen_ = false;
            afterCellMark_ = false;
            return;
        }
        std::string content = cell_ + (paragraphOpen_ ? takeParagraph() : std::string());
        cell_.clear();
        if (!tableOpen_) {
            out_ += "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\">";
            tableOpen_ = true;
        }
        if (!rowOpen_) {
            out_ += "<tr>";
            rowOpen_ = true;
        }
        out_ += "<td>" + content + "</td>";
        afterCellMark_ = true;
    }
    std::string finish() {
        if (paragraphOpen_)
            paragraphEnd();
        out_ += cell_;
        cell_.clear();
        closeTable();
        return out_;
    }

  private:
    // Look tags live inside a paragraph: they open before its characters and close before it
    // ends, so they always nest.
    void setLook(CharacterLook look) {
        if (look == look_)
            return;
        if (look_.underline)
            paragraph_ += "</u>";
        if (look_.italic)
            paragraph_ += "</i>";
        if (look_.bold)
            paragraph_ += "</b>";
        if (look.bold)
            paragraph_ += "<b>";
        if (look.italic)
            paragraph_ += "<i>";
        if (look.underline)
            paragraph_ += "<u>";
        look_ = look;
    }
    std::string takeParagraph() {
        setLook({});
        std::string html =
            "<p>" + (paragraph_.empty() ? std::string("&nbsp;") : paragraph_) + "</p>";
        paragraph_.clear();
        paragraphOpen_ = false;
        return html;
    }
    void closeTable() {
        if (rowOpen_)
            out_ += "</tr>";
        if (tableOpen_)
            out_ += "</table>";
        rowOpen_ = tableOpen_ = false;
    }

    std::string out_, paragraph_, cell_;
    CharacterLook look_;
    bool paragraphOpen_ = false, afterCellMark_ = false, rowOpen_ = false, tableOpen_ = false;
};

// The first operand byte of the run's sprm, 0 when the run has none.
uint8_t operandByte(const PropertyRuns& runs, const PropertyRun& run, uint16_t opcode) {
    const SprmRecord* s = runs.find(run, opcode);
    return s && s->size > 2 ? runs.operand(*s)[0] : 0;
}

// The looks of the character runs, whose ends are positions of the output text (two bytes per
// character from kOutputTextStart). The reader keeps them sorted by that end.
std::vector<LookSpan> looksOf(const PropertyRuns& runs) {
    std::vector<LookSpan> looks;
    for (const PropertyRun& run : runs) {
        if (run.outputPos <= static_cast<int32_t>(kOutputTextStart))
            continue;
        // Toggles: 0 off, 1 on, 0x80 as the style says, 0x81 the opposite of the style. The
        // preview does not resolve styles, so it shows 1 and 0x81 as on. Underline holds a kind.
        CharacterLook look;
        look.bold = (operandByte(runs, run, kSprmBold) & 0x01) != 0;
        look.italic = (operandByte(runs, run, kSprmItalic) & 0x01) != 0;
        look.underline = operandByte(runs, run, kSprmUnderline) != 0;
        looks.push_back({(static_cast<size_t>(run.outputPos) - kOutputTextStart) / 2, look});
    }
    return looks;
}

}  // namespace

std::string docTextHtml(std::span<const uint8_t> utf16, size_t chars,
                        std::span<const LookSpan> looks) {
    chars = std::min(chars, utf16.size() / 2);
    size_t span = 0;
    auto lookAt = [&](size_t i) {
        while (span < looks.size() && looks[span].endChar <= i)
            ++span;
        return span < looks.size() ? looks[span].look : CharacterLook{};
    };
    DocTextWriter w;
    // Field instructions (between a field's begin and its separator or end) are not shown;
    // fields nest, so each level remembers whether it still is in its instruction.
    std::vector<bool> fieldInstruction;
    for (size_t i = 0; i < chars; ++i) {
        uint32_t c = readU16LE(utf16, 2 * i);
        if (c == kFieldBegin) {
            fieldInstruction.push_back(true);
            continue;
        }
        if (c == kFieldSeparator) {
            if (!fieldInstruction.empty())
                fieldInstruction.back() = false;
            continue;
        }
        if (c == kFieldEnd) {
            if (!fieldInstruction.empty())
                fieldInstruction.pop_back();
            continue;
        }
        bool hidden = false;
        for (bool in : fieldInstruction)
            hidden = hidden || in;
        if (hidden)
            continue;
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < chars) {
            uint32_t low = readU16LE(utf16, 2 * (i + 1));
            if (low >= 0xDC00 && low < 0xE000) {
                w.character(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00), lookAt(i));
                ++i;
                continue;
            }
        }
        switch (c) {
            case kParagraphEnd:
            case kPageBreak:
                w.paragraphEnd();
                break;
            case kCellMark:
                w.cellMark();
                break;
            case kLineBreak:
                w.lineBreak();
                break;
            case kTab:
                w.character('\t', lookAt(i));
                break;
            case kNonBreakingHyphen:
                w.character('-', lookAt(i));
                break;
            default:
                // Other control characters anchor objects, notes and pictures.
                if (c >= 0x20 && !(c >= 0xD800 && c < 0xE000))
                    w.character(c, lookAt(i));
        }
    }
    return std::string(kPreviewPageHead).append(w.finish()).append(kPreviewPageTail);
}

std::string docPreviewHtml(std::span<const uint8_t> image) {
    try {
        DocContext ctx;
        DocSalvage salvage = SalvageDocFile(image, ctx);
        if (salvage.result != kSalvageReadable || !salvage.storage)
            return {};
        // The preview shows text only, so the pictures' Data stream is not read.
        CDoc8 doc(ReadDoc8Streams(*salvage.storage, DataStream::Skip), ctx);
        doc.ReadDocument(0);
        if (doc.text.empty())
            return {};
        size_t chars = doc.ccpText > 0 ? static_cast<size_t>(doc.ccpText) : doc.text.size() / 2;
        return docTextHtml(doc.text, chars, looksOf(doc.chpRuns));
    } catch (...) {
        return {};
    }
}

}  // namespace morvel
