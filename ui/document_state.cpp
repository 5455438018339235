#include "ui/document_state.h"

#include <QCoreApplication>
#include <algorithm>
#include <array>

#include "core/content_route.h"
#include "docx/office_broken_repair_2007.h"

namespace morvel {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("DocumentState", text);
}

// A result buffer counts when it holds more than a terminating NUL.
bool present(const std::optional<std::vector<uint8_t>>& buffer) {
    return buffer && buffer->size() > 1;
}

// Why no full document was built, from the .docx engine's statuses or the format.
QString noFullReason(const DocumentRecord& r) {
    // What the file's bytes show it to be comes first: a workbook, an encrypted file, a Word
    // 6.0/95 document, an RTF file under a .doc name.
    if (const std::optional<ContentReason> content = contentReasonOf(r))
        return QString::fromStdString(content->message);
    if (r.docxReport) {
        const DocxRecoveryReport& d = *r.docxReport;
        // Without a main document nothing else matters: say that rather than what else is lost.
        if (d.textRan && d.textStatus == kDocxDocumentNotFound)
            return tr(
                "The file holds no readable main document (word/document.xml), so there "
                "is no text to recover.");
        if (d.fullRan && d.fullStatus != 0 && !d.fullMessage.empty())
            return QString::fromStdString(d.fullMessage);
        if (d.textRan && d.textStatus != 0 && !d.textMessage.empty())
            return QString::fromStdString(d.textMessage);
    }
    // The engine's own result, when it gave one.
    if (r.fullResult.set() && !r.fullResult.message.empty())
        return QString::fromStdString(r.fullResult.message);
    if (r.format == kFormatDoc)
        return tr("The document's structure could not be read; its text was recovered.");
    return tr("No full document could be built from what the file still holds.");
}

// The errors a recovery reports, in words for the user; others are shown as they are.
QString plainError(const QString& error) {
    if (error.startsWith(QStringLiteral("Error in read doc")))
        return tr(
            "The file could not be read: it may have been moved or deleted, or you may "
            "not be allowed to read it.");
    if (error == QStringLiteral("the file is empty"))
        return tr("The file is empty: it holds nothing to recover.");
    return error;
}

QString escaped(const QString& s) {
    return s.toHtmlEscaped();
}

QString partStateText(PartState s) {
    switch (s) {
        case PartState::Intact:
            return tr("kept intact");
        case PartState::Repaired:
            return tr("repaired");
        case PartState::Partial:
            return tr("partly recovered");
        case PartState::Synthesised:
            return tr("lost, rebuilt");
        case PartState::FromTemplate:
            return tr("lost, taken from the template");
        case PartState::LeftOut:
            return tr("lost, left out");
    }
    return {};
}

// What the file's bytes were found to be, in the user's words.
QString contentText(ContentFormat f) {
    switch (f) {
        case ContentFormat::Unknown:
            return tr("not recognised");
        case ContentFormat::Empty:
            return tr("an empty file");
        case ContentFormat::Word97:
            return tr("Word 97-2003 document");
        case ContentFormat::Word6or95:
            return tr("Word 6.0/95 document");
        case ContentFormat::Word2:
            return tr("Word for Windows 1.x/2.0 document");
        case ContentFormat::WordDos:
            return tr("Word for DOS or Write document");
        case ContentFormat::WordMac:
            return tr("Word for Macintosh document");
        case ContentFormat::EncryptedWord:
            return tr("password-protected Word document");
        case ContentFormat::EncryptedPackage:
            return tr("password-protected package");
        case ContentFormat::ExcelWorkbook:
            return tr("Excel workbook");
        case ContentFormat::PowerPoint:
            return tr("PowerPoint presentation");
        case ContentFormat::OtherCompoundFile:
            return tr("compound file of another program");
        case ContentFormat::WordPackage:
            return tr("Word package (.docx)");
        case ContentFormat::Rtf:
            return tr("RTF document");
        case ContentFormat::WordXml2003:
            return tr("WordprocessingML 2003 XML");
        case ContentFormat::FlatOpc:
            return tr("flat XML package");
        case ContentFormat::OtherXml:
            return tr("XML file");
        case ContentFormat::Html:
            return tr("web page");
        case ContentFormat::PlainText:
            return tr("plain text");
    }
    return {};
}

}  // namespace

bool hasFull(const DocumentRecord& r) {
    return r.fullData && !r.fullData->empty();
}
bool hasFiltered(const DocumentRecord& r) {
    // A .docx text result is a package, without a terminating NUL.
    if (r.format == kFormatDocx)
        return r.filteredData && !r.filteredData->empty();
    return present(r.filteredData);
}
bool hasRaw(const DocumentRecord& r) {
    return present(r.rawText);
}

StateView documentStateOf(const DocumentRecord& r, const RecoveryNote& note) {
    StateView v;
    const bool reported = r.recoveryState != kNeverRecovered;
    if (reported && r.recoveryState == kRecoveredWithFull && hasFull(r) && !fullHoldsTextOnly(r)) {
        v.state = DocState::Recovered;
        v.title = tr("Recovered");
        const std::string summary = r.docxReport ? r.docxReport->package.summary() : std::string();
        v.reason =
            summary.empty()
                ? tr("The full document was rebuilt.")
                : tr("The full document was rebuilt: %1.").arg(QString::fromStdString(summary));
        return v;
    }
    if (reported && (hasFull(r) || hasFiltered(r) || hasRaw(r))) {
        v.state = DocState::TextOnly;
        v.title = tr("Text only");
        v.reason = noFullReason(r);
        return v;
    }
    if (reported || note.ran) {
        v.state = DocState::Failed;
        v.title = tr("Failed");
        if (note.stopped)
            v.reason = tr("The recovery was stopped before it finished.");
        else if (!note.error.isEmpty() && plainError(note.error) != note.error)
            v.reason = plainError(note.error);  // a known error, in the user's words
        else if (contentReasonOf(r))
            v.reason = noFullReason(r);
        else if (!note.error.isEmpty())
            v.reason = note.error;
        else if (r.docxReport)
            v.reason = noFullReason(r);
        else
            v.reason = tr("Nothing could be recovered from this file.");
        return v;
    }
    v.state = DocState::NotRecovered;
    v.title = tr("Not yet recovered");
    v.reason = tr("Press Enter or double-click the document to recover it.");
    return v;
}

QString recoveryReportHtml(const DocumentRecord& r, const StateView& state) {
    QString html = QStringLiteral("<html><body style=\"font-family: sans-serif\">");
    html += QStringLiteral("<h3>%1</h3><p>%2</p>").arg(escaped(state.title), escaped(state.reason));
    if (r.content)
        html += QStringLiteral("<p>%1</p>")
                    .arg(escaped(tr("Format found: %1.").arg(contentText(*r.content))));
    if (!r.docxReport) {
        html += QStringLiteral("</body></html>");
        return html;
    }
    const DocxRecoveryReport& d = *r.docxReport;
    const PackageReport& p = d.package;
    std::array<int, 6> counts{};
    for (const PartReport& part : p.parts)
        ++counts[static_cast<size_t>(part.state)];
    const int kept = counts[static_cast<size_t>(PartState::Intact)];
    const int repaired = counts[static_cast<size_t>(PartState::Repaired)] +
                         counts[static_cast<size_t>(PartState::Partial)];
    const int lost = counts[static_cast<size_t>(PartState::Synthesised)] +
                     counts[static_cast<size_t>(PartState::FromTemplate)] +
                     counts[static_cast<size_t>(PartState::LeftOut)];
    html += QStringLiteral("<p><b>%1</b> %2, <b>%3</b> %4, <b>%5</b> %6.</p>")
                .arg(kept)
                .arg(tr("parts kept"))
                .arg(repaired)
                .arg(tr("repaired"))
                .arg(lost)
                .arg(tr("lost"));
    if (p.inflateBudgetExhausted)
        html +=
            QStringLiteral("<p>%1</p>")
                .arg(tr(
                    "The file was too large to decode whole; parts past the limit were not read."));
    if (d.fullRan)
        html += QStringLiteral("<p>%1 %2</p>")
                    .arg(tr("Full document:"),
                         escaped(d.fullStatus == 0 ? tr("built")
                                                   : QString::fromStdString(d.fullMessage)));
    if (d.textRan)
        html += QStringLiteral("<p>%1 %2</p>")
                    .arg(tr("Text-only document:"),
                         escaped(d.textStatus == 0 ? tr("built")
                                                   : QString::fromStdString(d.textMessage)));
    if (!p.parts.empty()) {
        html += QStringLiteral(
                    "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">"
                    "<tr><th align=\"left\">%1</th><th align=\"left\">%2</th>"
                    "<th align=\"right\">%3</th></tr>")
                    .arg(tr("Part"), tr("State"), tr("Bytes recovered"));
        // What was damaged or lost first, then what was kept intact, each in package order.
        std::vector<const PartReport*> parts;
        for (const PartReport& part : p.parts)
            parts.push_back(&part);
        std::stable_sort(parts.begin(), parts.end(), [](const PartReport* a, const PartReport* b) {
            return (a->state != PartState::Intact) > (b->state != PartState::Intact);
        });
        for (const PartReport* partp : parts) {
            const PartReport& part = *partp;
            QString bytes = QString::number(part.decodedBytes);
            if (part.declaredBytes != 0 && part.declaredBytes != part.decodedBytes)
                bytes += QStringLiteral(" / ") + QString::number(part.declaredBytes);
            html += QStringLiteral("<tr><td>%1</td><td>%2</td><td align=\"right\">%3</td></tr>")
                        .arg(escaped(QString::fromStdString(part.name)), partStateText(part.state),
                             bytes);
        }
        html += QStringLiteral("</table>");
    }
    html += QStringLiteral("</body></html>");
    return html;
}

}  // namespace morvel
