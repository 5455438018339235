#include "cli/help_text.h"

#ifndef MORVEL_VERSION
#define MORVEL_VERSION "0"
#endif
#ifndef MORVEL_DOC_DIR
#define MORVEL_DOC_DIR "/usr/share/doc/morvel"
#endif

namespace morvel::cli {

namespace {

const char kGeneral[] =
    "Usage: morvel COMMAND [OPTION]... ARGUMENT...\n"
    "Recovers damaged Word documents (.doc and .docx). Input files are only read.\n"
    "\n"
    "Commands:\n"
    "  recover PATH...   recover documents and write their results into a folder\n"
    "  scan FOLDER...    list the Word documents found under folders\n"
    "  inspect FILE...   show what the salvage finds inside documents (JSON Lines)\n"
    "  help [COMMAND]    show this help, or the help of one command\n"
    "\n"
    "Options:\n"
    "  -h, --help        show this help\n"
    "      --version     show the version and licence\n"
    "\n"
    "Run 'morvel COMMAND --help' for the options of a command.\n"
    "\n"
    "Results of a document NAME.doc: NAME_recovered.doc (the rebuilt document),\n"
    "NAME_Filtered_text.txt (its body text), NAME_Raw_text.txt (every printable\n"
    "byte). Of NAME.docx: NAME_recovered.docx, NAME_docs_text.docx (text only).\n"
    "\n"
    "Exit status:\n"
    "  0   every document was recovered with its full document (or skipped)\n"
    "  1   some document gave only text results\n"
    "  2   some document gave no result or could not be read\n"
    "  64  the command line was wrong\n"
    "  130, 143, 129  stopped by SIGINT, SIGTERM or SIGHUP; unfinished results\n"
    "      and the run's temporary folder are removed, finished results stay\n";

const char kRecover[] =
    "Usage: morvel recover [OPTION]... PATH...\n"
    "Recover each document and write its results into DIR (default: the current\n"
    "folder; made with its parents when missing). Input files are only read.\n"
    "\n"
    "A folder PATH stands for the documents found in it and its subfolders, as\n"
    "scan finds them (without Templates folders and ~ files). A document in\n"
    "PATH/SUB/ has its results in DIR/SUB/, so the tree is mirrored (folders are\n"
    "made as needed; the output folder itself is never searched). Results are\n"
    "named:\n"
    "  .doc:  NAME_recovered.doc, NAME_Filtered_text.txt, NAME_Raw_text.txt\n"
    "  .docx: NAME_recovered.docx, NAME_docs_text.docx\n"
    "The format is told by the file's bytes, the extension only breaking ties: a\n"
    "package named NAME.doc gives NAME_recovered.docx, and a file that is no Word\n"
    "document (a workbook, an encrypted file, RTF, HTML) fails with that reason.\n"
    "When two documents would get the same names, the later one's results are\n"
    "numbered: \"NAME (2)_recovered.doc\". No result of this run is ever replaced.\n"
    "\n"
    "Options:\n"
    "  -o, --output=DIR      write the results into DIR\n"
    "  -f, --force           replace results left by an earlier run (without it an\n"
    "                        existing file is never replaced)\n"
    "      --skip-existing   skip a document whose results all exist already; it is\n"
    "                        reported as \"skipped\" (so a stopped batch can resume)\n"
    "      --files-from=FILE also recover the PATHs listed in FILE, one a line\n"
    "                        ('-': standard input)\n"
    "  -0, --null            the list of --files-from is NUL separated\n"
    "      --json            print JSON Lines: one JSON object per document, on one\n"
    "                        line (path, format, success, fullFailed, result,\n"
    "                        outputs, errors, content (what the bytes are), reason,\n"
    "                        seconds, and for a .docx its\n"
    "                        parts; a path that is not UTF-8 is also given as the\n"
    "                        hex of its bytes in path_bytes)\n"
    "  -q, --quiet           print only errors (and the records of --json)\n"
    "  -v, --verbose         also print each part's state and every reason\n"
    "  -j, --jobs=N          documents recovered at once (default: the processors)\n"
    "  -h, --help            show this help\n"
    "  --                    end of the options: what follows is a PATH\n"
    "\n"
    "Each document ends \"recovered\" (full document written), \"text only\" (only\n"
    "the text saved: text results, and for a document whose structure is lost or an\n"
    "older Word version a plain document), \"failed\" (nothing written; the reason\n"
    "is given) or \"skipped\".\n"
    "\n"
    "Exit status: 0 every document recovered with its full document or skipped,\n"
    "1 some gave only text, 2 some gave nothing or could not be read, 64 usage.\n"
    "Only regular files are read: a FIFO, device or socket is refused. A document\n"
    "that does not fit in memory fails alone; the others are still recovered.\n";

const char kScan[] =
    "Usage: morvel scan [OPTION]... FOLDER...\n"
    "Search each folder and its subfolders for Word documents (*.doc*, in any\n"
    "case) and list them by folder. Links to folders are not followed and /proc,\n"
    "/sys, /dev and /run are never entered.\n"
    "\n"
    "Options:\n"
    "      --json        print one JSON object with the documents (path, folder,\n"
    "                    fileName, format, category) and tableFull\n"
    "      --templates   also list documents in folders named Templates\n"
    "      --tilde       also list files whose names begin with ~\n"
    "  -h, --help        show this help\n";

const char kInspect[] =
    "Usage: morvel inspect [OPTION]... FILE...\n"
    "Show what the salvage finds in each document, as JSON Lines: one JSON\n"
    "object per file, on one line (JSON is the only output form).\n"
    "\n"
    "A .doc shows whether the compound-file header was found or rebuilt, its\n"
    "position and shift, FAT sectors, directory and mini-FAT start, the version\n"
    "code, and each named entry with its type, size, depth and the SHA-256 of the\n"
    "stream bytes that can still be read; then what the Word 97 reader finds\n"
    "(\"reader\": result code, status, version, table stream, pieces, run and\n"
    "page counts, sections, pictures). A ZIP package (.docx, known by its bytes)\n"
    "shows its intact and damaged entries and every record the salvage met, each\n"
    "graded none, unsure, potential, incorrect or fatal.\n"
    "\n"
    "Options:\n"
    "      --json   print JSON Lines (the default)\n"
    "  -h, --help   show this help\n";

}  // namespace

const char* generalHelp() {
    return kGeneral;
}

const char* commandHelp(std::string_view command) {
    if (command == "recover")
        return kRecover;
    if (command == "scan")
        return kScan;
    if (command == "inspect")
        return kInspect;
    return nullptr;
}

std::string versionText() {
    return std::string("morvel ") + MORVEL_VERSION +
           "\n"
           "Copyright (C) 2026 Morvel developers\n"
           "License: none granted yet; all rights are reserved.\n"
           "See " MORVEL_DOC_DIR "/copyright.\n";
}

}  // namespace morvel::cli
