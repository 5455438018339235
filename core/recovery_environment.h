#pragma once

#include <filesystem>

#include "platform/error_report.h"
#include "platform/progress.h"

namespace morvel {

class TemplateStoreCache;

// What the recovery driver borrows from its caller for one run: where temporary results go,
// where temp.dat lives (and, optionally, a cache of it), and where progress and errors are
// reported. The progress indicator exists only while a recovery job runs; it may be null elsewhere.
struct RecoveryEnvironment {
    std::filesystem::path workingFolder;
    std::filesystem::path programFolder;
    ProgressIndicator* progress = nullptr;
    StatusText* status = nullptr;
    ErrorReport* errors = nullptr;
    // The template store for .docx recoveries, kept across the documents of a run; when null,
    // each document loads it once for itself.
    TemplateStoreCache* templates = nullptr;

    void showError(const std::string& text) const {
        if (errors)
            errors->showError(text);
    }
    void setStatus(const std::string& text) const {
        if (status)
            status->setStatusText(text);
    }
};

}  // namespace morvel
