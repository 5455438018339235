#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "core/document_store.h"

namespace morvel {

// True for names the document listing takes: a "." followed by "doc" somewhere, in any case
// (a.doc, b.docx, c.docm, D.DOC, x.doc.bak).
bool matchesDocumentPattern(std::string_view name);

// True for /proc, /sys, /dev, /run and folders on kernel-made file systems: they hold no
// documents and may never end, so no search enters them.
bool isPseudoFolder(const std::filesystem::path& path);

// Adds the Word documents of one folder to the store's table, no subfolders. Only regular
// files (or links to them) count. Stops with "Number of doc files >500" when the table is full.
void ScanFolderDocuments(CDocumentStore& store, const std::string& folder);

// Scans a folder and then every subfolder, depth first, while the search runs and the table is
// not full. Links to folders are never followed and pseudo file systems never entered, so the
// walk ends and stays on real files. Every 102nd folder it shows "Searching ..." or, when a
// stop was asked for, ends the search with "Closing search doc...".
void SearchFolder(CDocumentStore& store, const std::string& folder);

// The two operations above as the store's search.
const FolderSearch& diskSearch();

// A store that searches disks with the operations above.
std::shared_ptr<CDocumentStore> OpenDocumentStore(StoreSetup setup, std::string& error);

}  // namespace morvel
