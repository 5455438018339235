#pragma once

#include <string>
#include <vector>

#include "core/document_store.h"

namespace morvel {

// Adds the documents named on a command line (a file manager's "Open with" passes them so) to
// the store's table, each under its absolute folder and as an ordinary document whatever its
// folder or name: the user picked it, so no filter hides it. Returns the names that were not
// added, each with the reason: not a file, not a Word document name, or the table is full.
// Call it before any search runs, as searches add to the table from their own thread.
std::vector<std::string> AddNamedDocuments(CDocumentStore& store,
                                           const std::vector<std::string>& paths);

}  // namespace morvel
