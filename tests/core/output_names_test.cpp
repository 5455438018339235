#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/output_names.h"

namespace morvel {
namespace {

// Numbered names keep the result's suffix and put the number after the document's own name,
// so every result of one document carries the same number.
TEST(OutputNames, NumberedNamesOfEveryKind) {
    struct Case {
        const char* file;
        uint16_t format;
        OutputKind kind;
        unsigned copy;
        const char* name;
    };
    const Case cases[] = {
        {"report.doc", kFormatDoc, OutputKind::Full, 2, "report (2)_recovered.doc"},
        {"report.doc", kFormatDoc, OutputKind::Filtered, 2, "report (2)_Filtered_text.txt"},
        {"report.doc", kFormatDoc, OutputKind::Raw, 12, "report (12)_Raw_text.txt"},
        {"Report.DOCX", kFormatDocx, OutputKind::Full, 3, "Report (3)_recovered.docx"},
        {"Report.docx", kFormatDocx, OutputKind::Filtered, 3, "Report (3)_docs_text.docx"},
        {"report.doc", kFormatDoc, OutputKind::Full, 1, "report_recovered.doc"},
        {"report.doc", kFormatDoc, OutputKind::Full, 0, "report_recovered.doc"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(numberedOutputName(c.file, c.format, c.kind, c.copy), c.name) << c.name;
}

TEST(OutputNames, KindsOfEachFormat) {
    EXPECT_EQ(outputKindsOf(kFormatDoc),
              (std::vector<OutputKind>{OutputKind::Full, OutputKind::Filtered, OutputKind::Raw}));
    EXPECT_EQ(outputKindsOf(kFormatDocx),
              (std::vector<OutputKind>{OutputKind::Full, OutputKind::Filtered}));
    EXPECT_TRUE(outputKindsOf(kFormatUnknown).empty());
}

}  // namespace
}  // namespace morvel
