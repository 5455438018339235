#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/output_names.h"
#include "discovery/document_walk.h"

namespace morvel::cli {

// Where one document's results go.
struct Placement {
    unsigned copy = 1;  // 2 and up: the names are numbered, "report (2)_recovered.doc"
    std::vector<std::pair<OutputKind, std::filesystem::path>> targets;  // every result it can have
};

// Decides the names of each document's results in one run and keeps the run from replacing its
// own results. A document's names are claimed when it is placed, whether or not it is then
// written, so the same inputs get the same names in every run (a rerun with --force replaces
// exactly the results of the same documents, and --skip-existing finds them).
class OutputPlan {
  public:
    explicit OutputPlan(std::filesystem::path outputDir) : outputDir_(std::move(outputDir)) {}

    // Names the results of `fileName` (a document of `format`) in the folder `relativeFolder`
    // below the output folder: the default names, or the first numbered set that no document
    // placed earlier in this run holds any name of and that names no file written in this run.
    // With `byNameOnly`, results written already are not looked at: the names then depend only
    // on the documents placed before, whatever has been written meanwhile (a batch places its
    // documents ahead of the threads that recover them, and places one again when stateOf
    // finds a target written already).
    Placement place(const std::filesystem::path& relativeFolder, const std::string& fileName,
                    uint16_t format, bool byNameOnly = false);

    // Remembers a result written in this run, by identity, so that no later write replaces it
    // even through another spelling of its path.
    void noteWritten(const std::filesystem::path& target);
    bool writtenThisRun(const std::filesystem::path& target) const;

    // What a target is now, from one look at the file system: free (nothing there, or a file
    // left by an earlier run), one of the documents being recovered, or a result of this run.
    enum class TargetState { Free, Input, Written };
    TargetState stateOf(const std::filesystem::path& target) const;

    // The documents being recovered, which no result may replace: the files named on the
    // command line or in a list, and documents under the folders given.
    void protectFile(const std::filesystem::path& input);
    void protectFolder(const std::filesystem::path& folder);
    bool isInput(const std::filesystem::path& target) const;

  private:
    bool underInputFolder(const std::filesystem::path& target) const;

    std::filesystem::path outputDir_;
    std::set<std::string> claimed_;   // normalised paths of every result name placed so far
    std::set<FileIdentity> written_;  // sets: a batch may hold any number of documents
    std::set<FileIdentity> inputs_;
    std::vector<std::filesystem::path> inputFolders_;  // canonical
};

}  // namespace morvel::cli
