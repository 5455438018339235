#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "core/folders.h"

#ifndef MORVEL_VERSION
#define MORVEL_VERSION "0"
#endif

namespace {

const char kUsage[] =
    "Usage: morvel COMMAND [OPTIONS] ...\n"
    "Recovers damaged Word documents (.doc and .docx). Input files are only read.\n"
    "\n"
    "Commands:\n"
    "  recover PATH... [-o DIR] [--force] [--json]\n"
    "      Recover each document and write its results into DIR (default: the\n"
    "      current folder; made when missing). A folder PATH stands for the\n"
    "      documents found in it and its subfolders, as scan finds them (without\n"
    "      Templates folders and ~ files). Results are named:\n"
    "        .doc:  NAME_recovered.doc, NAME_Filtered_text.txt, NAME_Raw_text.txt\n"
    "        .docx: NAME_recovered.docx, NAME_docs_text.docx\n"
    "      A file is read by its bytes: a package named .doc gives\n"
    "      NAME_recovered.docx. Existing files are never replaced unless --force\n"
    "      is given. --json prints one JSON object per document (path, format,\n"
    "      success, fullFailed, outputs, errors, content, reason, seconds, and\n"
    "      for a .docx its parts).\n"
    "  inspect FILE...\n"
    "      Show what the compound-file salvage finds in each .doc, as one JSON\n"
    "      object per line: header found or rebuilt, its position and shift, FAT\n"
    "      sectors, directory and mini-FAT start, the version code, and each\n"
    "      named entry with its type, size, depth and the SHA-256 of the stream\n"
    "      bytes that can still be read; then what the Word 97 reader finds\n"
    "      (\"reader\": result code, status, version, table stream, pieces, run\n"
    "      and page counts, sections, pictures). A ZIP package (.docx, known by\n"
    "      its bytes) shows instead its intact and damaged entries and every\n"
    "      record the salvage met, each graded none, unsure, potential,\n"
    "      incorrect or fatal.\n"
    "\n"
    "  scan FOLDER... [--json] [--templates] [--tilde]\n"
    "      Search each folder and its subfolders for Word documents (*.doc*, in\n"
    "      any case) and list them by folder. Links to folders are not followed\n"
    "      and /proc, /sys, /dev and /run are never entered. Documents in\n"
    "      folders named Templates and files whose names begin with ~ are listed\n"
    "      only with --templates and --tilde. --json prints one object with the\n"
    "      documents (path, folder, fileName, format, category) and tableFull.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help\n"
    "  --version      show the version\n"
    "\n"
    "recover tells the format by the file's bytes; the extension (.doc or\n"
    "  .docx, in any case) only breaks ties. scan lists files by extension.\n"
    "\n"
    "Exit status:\n"
    "  0   every document was recovered with its full document\n"
    "  1   some document gave only text results\n"
    "  2   some document gave no result or could not be read\n"
    "  64  the command line was wrong\n"
    "  130, 143, 129  stopped by SIGINT, SIGTERM or SIGHUP; unfinished results\n"
    "      and the run's temporary folder are removed, finished results stay\n"
    "\n"
    "Only regular files are read: a FIFO, device or socket is refused (\"not a\n"
    "regular file\"). A document that does not fit in the memory the process may\n"
    "use fails alone (\"not enough memory to read this document\") and the other\n"
    "documents are still recovered.\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace morvel::cli;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const std::string cmd = args.front();
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (cmd == "-h" || cmd == "--help" || cmd == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (cmd == "--version") {
        std::printf("morvel %s\n", MORVEL_VERSION);
        return 0;
    }
    for (const std::string& a : rest) {
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    if (cmd == "recover") {
        // Said once here rather than as a failure per document: every .docx needs temp.dat.
        const morvel::TemplateStoreLookup store =
            morvel::findTemplateStore(morvel::templateStoreFolders());
        if (!store.found())
            std::fprintf(stderr, "morvel: %s; .docx documents cannot be recovered\n",
                         morvel::templateStoreNotFoundMessage(store).c_str());
        return runRecover(rest);
    }
    if (cmd == "inspect")
        return runInspect(rest);
    if (cmd == "scan")
        return runScan(rest);
    std::fprintf(stderr, "morvel: unknown command '%s' (see morvel --help)\n", cmd.c_str());
    return kExitUsage;
}
