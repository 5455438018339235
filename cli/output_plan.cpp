#include "cli/output_plan.h"

#include <algorithm>

#include "core/document_format.h"

namespace morvel::cli {

namespace fs = std::filesystem;

Placement OutputPlan::place(const fs::path& relativeFolder, const std::string& fileName,
                            uint16_t format, bool byNameOnly) {
    const fs::path folder = (outputDir_ / relativeFolder).lexically_normal();
    for (unsigned copy = 1;; ++copy) {
        Placement p;
        p.copy = copy;
        bool free = true;
        for (OutputKind kind : outputKindsOf(format)) {
            fs::path target = folder / numberedOutputName(fileName, format, kind, copy);
            // Another spelling of a result written already (a folder link, a file system
            // that ignores case) takes the name too.
            free = free && claimed_.count(target.string()) == 0 &&
                   (byNameOnly || !writtenThisRun(target));
            p.targets.emplace_back(kind, std::move(target));
        }
        if (plainText_ && format != kFormatUnknown) {
            p.plainText = folder / plainTextOutputName(fileName, copy);
            free = free && claimed_.count(p.plainText.string()) == 0 &&
                   (byNameOnly || !writtenThisRun(p.plainText));
        }
        if (!free)
            continue;
        for (const auto& t : p.targets)
            claimed_.insert(t.second.string());
        if (!p.plainText.empty())
            claimed_.insert(p.plainText.string());
        return p;
    }
}

void OutputPlan::noteWritten(const fs::path& target) {
    if (const auto id = identityOf(target))
        written_.insert(*id);
}

bool OutputPlan::writtenThisRun(const fs::path& target) const {
    const auto id = identityOf(target);
    return id && written_.count(*id) != 0;
}

void OutputPlan::protectFile(const fs::path& input) {
    if (const auto id = identityOf(input))
        inputs_.insert(*id);
}

void OutputPlan::protectFolder(const fs::path& folder) {
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(fs::absolute(folder), ec);
    if (!ec)
        inputFolders_.push_back(canonical);
}

bool OutputPlan::isInput(const fs::path& target) const {
    const auto id = identityOf(target);
    if (!id)
        return false;  // nothing there yet, so nothing to protect
    return inputs_.count(*id) != 0 || underInputFolder(target);
}

OutputPlan::TargetState OutputPlan::stateOf(const fs::path& target) const {
    const auto id = identityOf(target);
    if (!id)
        return TargetState::Free;
    if (inputs_.count(*id) != 0 || underInputFolder(target))
        return TargetState::Input;
    return written_.count(*id) != 0 ? TargetState::Written : TargetState::Free;
}

// A document under a folder being searched: found already or still to come.
bool OutputPlan::underInputFolder(const fs::path& target) const {
    if (inputFolders_.empty() || formatFromFileName(target.filename().string()) == kFormatUnknown)
        return false;
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(fs::absolute(target), ec);
    if (ec)
        return false;
    for (const fs::path& folder : inputFolders_) {
        const auto mismatch =
            std::mismatch(folder.begin(), folder.end(), canonical.begin(), canonical.end());
        if (mismatch.first == folder.end())
            return true;
    }
    return false;
}

}  // namespace morvel::cli
