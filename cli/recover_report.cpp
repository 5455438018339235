#include "cli/recover_report.h"

#include <cstdio>
#include <string>

#include "cli/json_text.h"

namespace morvel::cli {

namespace {

const char* formatName(uint16_t f) {
    return f == kFormatDoc ? "doc" : f == kFormatDocx ? "docx" : "unknown";
}

// The .docx engine's account: its status for each package and the parts of the package.
std::string docxReportJson(const DocxRecoveryReport& r) {
    std::string s = "{";
    if (r.textRan)
        s += "\"textStatus\":" + std::to_string(r.textStatus) +
             ",\"textMessage\":" + jsonString(r.textMessage) + ",";
    if (r.fullRan)
        s += "\"fullStatus\":" + std::to_string(r.fullStatus) +
             ",\"fullMessage\":" + jsonString(r.fullMessage) + ",";
    s += "\"summary\":" + jsonString(r.package.summary()) + ",\"parts\":[";
    for (size_t i = 0; i < r.package.parts.size(); ++i) {
        const PartReport& p = r.package.parts[i];
        s += std::string(i ? "," : "") + "{\"name\":" + jsonString(p.name) + ",\"state\":\"" +
             std::string(partStateName(p.state)) +
             "\",\"decoded\":" + std::to_string(p.decodedBytes) +
             ",\"declared\":" + std::to_string(p.declaredBytes) + "}";
    }
    return s + "]}";
}

void printHuman(const RecoverOptions& opt, const DocumentOutcome& o) {
    for (const auto& e : o.errors)
        std::fprintf(stderr, "morvel: %s: %s\n", o.input.c_str(), e.c_str());
    if (opt.verbosity == Verbosity::Quiet)
        return;
    const bool verbose = opt.verbosity == Verbosity::Verbose;
    const char* verdict = verdictOf(o);
    if (o.skipped)
        std::printf("%s: %s: its results exist\n", o.input.c_str(), verdict);
    else if (o.reason.code.empty() || (!o.errors.empty() && !o.contentReason))
        std::printf("%s: %s (%.2f s)\n", o.input.c_str(), verdict, o.seconds);
    else
        std::printf("%s: %s: %s (%.2f s)\n", o.input.c_str(), verdict, o.reason.message.c_str(),
                    o.seconds);
    if (verbose && !o.reason.code.empty())
        std::printf("  reason   %s: %s\n", o.reason.code.c_str(), o.reason.message.c_str());
    if (o.repair)
        std::printf("  repair   %s\n", o.repair->message.c_str());
    if (o.docx) {
        const std::string summary = o.docx->package.summary();
        if (!summary.empty())
            std::printf("  damage   %s\n", summary.c_str());
        if (verbose) {
            if (o.docx->textRan)
                std::printf("  text     status %d: %s\n", o.docx->textStatus,
                            o.docx->textMessage.c_str());
            if (o.docx->fullRan)
                std::printf("  full     status %d: %s\n", o.docx->fullStatus,
                            o.docx->fullMessage.c_str());
            for (const PartReport& p : o.docx->package.parts)
                std::printf("  part     %s: %s (%llu of %llu bytes)\n", p.name.c_str(),
                            std::string(partStateName(p.state)).c_str(),
                            static_cast<unsigned long long>(p.decodedBytes),
                            static_cast<unsigned long long>(p.declaredBytes));
        }
    }
    for (const auto& w : o.written)
        std::printf("  %-8s %s (%zu bytes%s)\n", w.kind, w.path.c_str(), w.bytes,
                    w.existing ? ", already there" : "");
}

}  // namespace

const char* verdictOf(const DocumentOutcome& o) {
    return o.skipped                         ? "skipped"
           : o.exitCode == kExitAllFull      ? "recovered"
           : o.exitCode == kExitSomeTextOnly ? "text only"
                                             : "failed";
}

std::string outcomeJson(const DocumentOutcome& o) {
    std::string s = "{" + jsonPathMembers("path", o.input.native()) + ",\"format\":\"" +
                    formatName(o.format) + "\",\"success\":" + (o.success ? "true" : "false") +
                    ",\"fullFailed\":" + (o.fullFailed ? "true" : "false") +
                    ",\"result\":" + jsonString(verdictOf(o));
    if (o.skipped)
        s += ",\"skipped\":true";
    s += ",\"outputs\":[";
    for (size_t i = 0; i < o.written.size(); ++i) {
        if (i)
            s += ",";
        s += "{\"kind\":\"" + std::string(o.written[i].kind) + "\"," +
             jsonPathMembers("path", o.written[i].path.native()) +
             ",\"bytes\":" + std::to_string(o.written[i].bytes) +
             (o.written[i].existing ? ",\"existing\":true}" : "}");
    }
    s += "],\"errors\":[";
    for (size_t i = 0; i < o.errors.size(); ++i)
        s += (i ? "," : "") + jsonString(replaceInvalidUtf8(o.errors[i]));
    s += "]";
    if (o.content)
        s += ",\"content\":\"" + std::string(contentFormatName(*o.content)) + "\"";
    if (!o.reason.code.empty())
        s += ",\"reason\":{\"code\":" + jsonString(o.reason.code) +
             ",\"message\":" + jsonString(replaceInvalidUtf8(o.reason.message)) + "}";
    if (o.repair)
        s += ",\"repair\":{\"code\":" + jsonString(o.repair->code) +
             ",\"message\":" + jsonString(o.repair->message) + "}";
    if (o.docx)
        s += ",\"docx\":" + docxReportJson(*o.docx);
    s += ",\"findings\":[";
    for (size_t i = 0; i < o.findings.size(); ++i)
        s += std::string(i ? "," : "") +
             "{\"grade\":" + jsonString(findingGradeName(o.findings[i].grade)) +
             ",\"message\":" + jsonString(o.findings[i].message) + "}";
    s += "]";
    char secs[32];
    std::snprintf(secs, sizeof secs, "%.3f", o.seconds);
    return s + ",\"seconds\":" + secs + "}";
}

void printOutcome(const RecoverOptions& opt, const DocumentOutcome& o) {
    if (opt.json)
        std::printf("%s\n", outcomeJson(o).c_str());
    else
        printHuman(opt, o);
    // A line per document as it ends, so a script reading a pipe follows the batch.
    std::fflush(stdout);
}

}  // namespace morvel::cli
