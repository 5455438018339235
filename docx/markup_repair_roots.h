#pragma once

#include <string_view>

#include "docx/markup_repair.h"

namespace morvel {

// The namespace declarations Word writes on the root of a WordprocessingML part, plus the
// drawing ones it writes further down (so a picture whose own declaration was lost still
// resolves).
#define MORVEL_WORDML_NAMESPACES                                                           \
    " xmlns:wpc=\"http://schemas.microsoft.com/office/word/2010/wordprocessingCanvas\""    \
    " xmlns:cx=\"http://schemas.microsoft.com/office/drawing/2014/chartex\""               \
    " xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\""            \
    " xmlns:aink=\"http://schemas.microsoft.com/office/drawing/2016/ink\""                 \
    " xmlns:am3d=\"http://schemas.microsoft.com/office/drawing/2017/model3d\""             \
    " xmlns:o=\"urn:schemas-microsoft-com:office:office\""                                 \
    " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\""     \
    " xmlns:m=\"http://schemas.openxmlformats.org/officeDocument/2006/math\""              \
    " xmlns:v=\"urn:schemas-microsoft-com:vml\""                                           \
    " xmlns:wp14=\"http://schemas.microsoft.com/office/word/2010/wordprocessingDrawing\""  \
    " xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\"" \
    " xmlns:w10=\"urn:schemas-microsoft-com:office:word\""                                 \
    " xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\""            \
    " xmlns:w14=\"http://schemas.microsoft.com/office/word/2010/wordml\""                  \
    " xmlns:w15=\"http://schemas.microsoft.com/office/word/2012/wordml\""                  \
    " xmlns:w16cid=\"http://schemas.microsoft.com/office/word/2016/wordml/cid\""           \
    " xmlns:w16se=\"http://schemas.microsoft.com/office/word/2015/wordml/symex\""          \
    " xmlns:wpg=\"http://schemas.microsoft.com/office/word/2010/wordprocessingGroup\""     \
    " xmlns:wpi=\"http://schemas.microsoft.com/office/word/2010/wordprocessingInk\""       \
    " xmlns:wne=\"http://schemas.microsoft.com/office/word/2006/wordml\""                  \
    " xmlns:wps=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\""     \
    " xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\""                   \
    " xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\""              \
    " mc:Ignorable=\"w14 w15 w16se w16cid wp14\""

// The root element a part of each role starts with: its name and its whole opening tag.
struct RepairRoot {
    std::string_view name;
    std::string_view openTag;
};

inline RepairRoot repairRootOf(PartRole role) {
    switch (role) {
        case PartRole::MainDocument:
            return {"w:document", "<w:document" MORVEL_WORDML_NAMESPACES ">"};
        case PartRole::Header:
            return {"w:hdr", "<w:hdr" MORVEL_WORDML_NAMESPACES ">"};
        case PartRole::Footer:
            return {"w:ftr", "<w:ftr" MORVEL_WORDML_NAMESPACES ">"};
        case PartRole::Footnotes:
            return {"w:footnotes", "<w:footnotes" MORVEL_WORDML_NAMESPACES ">"};
        case PartRole::Endnotes:
            return {"w:endnotes", "<w:endnotes" MORVEL_WORDML_NAMESPACES ">"};
        case PartRole::Comments:
            return {"w:comments", "<w:comments" MORVEL_WORDML_NAMESPACES ">"};
        case PartRole::Styles:
            return {"w:styles",
                    "<w:styles"
                    " xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\""
                    " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                    "relationships\""
                    " xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\""
                    " xmlns:w14=\"http://schemas.microsoft.com/office/word/2010/wordml\""
                    " xmlns:w15=\"http://schemas.microsoft.com/office/word/2012/wordml\""
                    " xmlns:w16cid=\"http://schemas.microsoft.com/office/word/2016/wordml/cid\""
                    " xmlns:w16se=\"http://schemas.microsoft.com/office/word/2015/wordml/symex\""
                    " mc:Ignorable=\"w14 w15 w16se w16cid\">"};
        case PartRole::Relationships:
            return {"Relationships",
                    "<Relationships "
                    "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"};
        case PartRole::ContentTypes:
            return {"Types",
                    "<Types "
                    "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"};
        case PartRole::Other:
            break;
    }
    return {};
}

#undef MORVEL_WORDML_NAMESPACES

}  // namespace morvel
