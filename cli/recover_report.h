#pragma once

#include "cli/document_outcome.h"
#include "cli/recover_options.h"

namespace morvel::cli {

// Prints what became of one document: a JSON Lines record with --json, else human lines on
// standard output (none with --quiet) and its errors on standard error.
void printOutcome(const RecoverOptions& opt, const DocumentOutcome& o);

// The JSON Lines record of one document (one line, no newline).
std::string outcomeJson(const DocumentOutcome& o);

}  // namespace morvel::cli
