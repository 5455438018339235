#include "ui/preview_pages.h"

namespace morvel {

namespace {

QString centred(const QString& body) {
    return QStringLiteral(
               "<html><body style=\"font-family: Arial, sans-serif\">"
               "<table width=\"100%\" height=\"100%\"><tr><td align=\"center\" valign=\"middle\">"
               "<div align=\"center\" style=\"font-family: Arial, sans-serif\">%1</div>"
               "</td></tr></table></body></html>")
        .arg(body);
}

}  // namespace

QString previewPageHtml(PreviewPage page) {
    switch (page) {
        case PreviewPage::START_PAGE:
            return centred(QStringLiteral(
                "<h2>Morvel recovers damaged Word documents</h2>"
                "<p><b>1.</b> Open the damaged document with <b>File &gt; Open</b>, drop it on "
                "this window, or add the Word document to the tree with <b>Add Documents</b>.</p>"
                "<p><b>2.</b> An opened document is recovered at once; for one in the tree, "
                "select it and double-click it, press Enter or use <b>Recover</b>.</p>"
                "<p><b>3.</b> The tabs show what was recovered; save it as a Word document or a "
                "plain text file with the save commands.</p>"
                "<p>The original file is never changed.</p>"));
        case PreviewPage::NO_VIEW_FOR_FILES:
            return centred(QStringLiteral(
                "<h3>This document has not been recovered yet.</h3>"
                "<p>To recover the file, double-click it, press Enter or use <b>Recover</b>.</p>"));
        case PreviewPage::NO_VIEW_FOR_FOLDERS:
            return centred(QStringLiteral(
                "<h3>No files selected.</h3>"
                "<p>Double-click the file to recover, or select it and press Enter.</p>"
                "<p>If the file is not in the tree, open it with <b>File &gt; Open</b> or "
                "search for it with <b>Add Documents</b>.</p>"));
        case PreviewPage::VERY_DAMAGE:
            return centred(QStringLiteral(
                "<h3>The document is damaged too severely or is of an unsupported format.</h3>"
                "<p>Only its text can be shown, in the text tabs.</p>"));
    }
    return {};
}

}  // namespace morvel
