// Whole-command timing of `morvel recover` on .docx packages (both results: the full and the
// text-only package) against `unzip -t` on the same package, in one run. The two commands
// run in turn, A B A B ..., and each pair gives one ratio, so that a drift in the machine's
// speed moves both sides of a ratio alike; the medians of the times and of the ratios are
// printed, of wall time and of CPU time (user + system; on a busy machine the steadier of
// the two). A damaged package is compared with `unzip -t` of its intact original, which is
// what a reader of the intact file would have paid.
//
//   docx_vs_unzip [--morvel PATH] [--runs N] [--sizes 10,50,200] [--no-images] [--no-corpus]
//                 [--keep DIR]
//
// Packages: the corpus package with the largest main document (MORVEL_CORPUS/docx), as it
// is and with its body repeated to about 12 MB; synthetic main documents of each size in
// MB; each intact, with the central directory and end record zeroed, and cut to 80 %; and
// an intact package of about 50 MB of incompressible pictures.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "docx/zip_broken_extractor.h"
#include "platform/file_io.h"
#include "platform/le_reader.h"
#include "tests/support/zip_builder.h"

namespace {

namespace fs = std::filesystem;
using namespace morvel;

// Sample packages are deflated at zlib's default level, as a word processor writes them.
constexpr int kSampleLevel = 6;
// The grown corpus package's main document, like a long real report.
constexpr size_t kGrownDocumentBytes = size_t{12} << 20;
constexpr size_t kImageBytes = size_t{5} << 20;
constexpr int kImageCount = 10;
constexpr double kCutShare = 0.8;

struct Options {
    std::string morvel = MORVEL_CLI_PATH;
    int runs = 5;
    std::vector<unsigned> sizes{10, 50, 200};
    bool images = true;
    bool corpus = true;
    std::string keep;
};

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
const std::string kNamespaces =
    "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
    "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"";

void addPart(test::ZipBuilder& zip, const std::string& name, const std::string& content) {
    test::ZipBuilder::Entry how;
    how.level = kSampleLevel;
    zip.add(name, content, how);
}

void addCommonParts(test::ZipBuilder& zip, const std::string& rels) {
    addPart(zip, "[Content_Types].xml",
            kDecl +
                "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                "<Default Extension=\"rels\" "
                "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                "<Default Extension=\"jpeg\" ContentType=\"image/jpeg\"/>"
                "<Override PartName=\"/word/document.xml\" "
                "ContentType=\"application/"
                "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>");
    addPart(
        zip, "_rels/.rels",
        kDecl +
            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
            "<Relationship Id=\"rId1\" "
            "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
            "officeDocument\" Target=\"word/document.xml\"/></Relationships>");
    addPart(zip, "word/_rels/document.xml.rels",
            kDecl +
                "<Relationships "
                "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
                rels + "</Relationships>");
}

// Words of the synthetic text, drawn at random so that the text compresses about as well as
// real prose does, rather than as one paragraph repeated.
constexpr std::string_view kWords[] = {
    "the",      "of",        "and",      "report",   "quarter",  "growth",  "market",
    "customer", "delivery",  "project",  "within",   "between",  "results", "figures",
    "review",   "committee", "approved", "budget",   "schedule", "risk",    "analysis",
    "section",  "annex",     "table",    "shown",    "above",    "below",   "further",
    "however",  "therefore", "whereas",  "pursuant", "to",       "in",      "on",
    "for",      "with",      "by",       "a",        "is",       "was",     "were"};

// A main document of about `bytes` of paragraphs with runs, formatting and a table now and
// then, written without whitespace between elements as word processors write it.
std::string syntheticDocument(size_t bytes) {
    std::string body;
    body.reserve(bytes + 4096);
    uint32_t v = 2463534242u;
    const auto next = [&v] {
        v ^= v << 13, v ^= v >> 17, v ^= v << 5;
        return v;
    };
    const auto sentence = [&](std::string& out) {
        const uint32_t n = 6 + next() % 18;
        for (uint32_t w = 0; w < n; ++w) {
            out += kWords[next() % std::size(kWords)];
            out += w + 1 < n ? ' ' : '.';
        }
    };
    char rsid[16];
    for (unsigned n = 0; body.size() < bytes; ++n) {
        std::snprintf(rsid, sizeof rsid, "%08X", next() % 4096);
        body += "<w:p w:rsidR=\"";
        body += rsid;
        body += "\"><w:pPr><w:jc w:val=\"both\"/></w:pPr><w:r><w:rPr><w:b/></w:rPr><w:t>";
        sentence(body);
        body += "</w:t></w:r><w:r><w:tab/><w:t xml:space=\"preserve\">";
        sentence(body);
        body += " </w:t></w:r></w:p>";
        if (n % 16 == 15) {
            body +=
                "<w:tbl><w:tblPr><w:tblW w:w=\"0\" w:type=\"auto\"/></w:tblPr><w:tr><w:tc>"
                "<w:tcPr><w:tcW w:w=\"4000\" w:type=\"dxa\"/></w:tcPr><w:p><w:r><w:t>";
            sentence(body);
            body += "</w:t></w:r></w:p></w:tc></w:tr></w:tbl>";
        }
    }
    return kDecl + "<w:document " + kNamespaces + "><w:body>" + body +
           "<w:sectPr/></w:body></w:document>";
}

std::vector<uint8_t> textPackage(size_t documentBytes) {
    test::ZipBuilder zip;
    addPart(zip, "word/document.xml", syntheticDocument(documentBytes));
    addCommonParts(zip, "");
    return zip.finish();
}

// Ten 5 MB pictures of noise, which deflate cannot shrink, as with real photographs.
std::vector<uint8_t> imagesPackage() {
    test::ZipBuilder zip;
    std::string noise(kImageBytes, 0), rels, body;
    for (int n = 0; n < kImageCount; ++n) {
        uint32_t v = 2463534242u + n;
        for (auto& b : noise) {
            v ^= v << 13, v ^= v >> 17, v ^= v << 5;
            b = static_cast<char>(v);
        }
        const std::string id = "rIdImg" + std::to_string(n);
        rels += "<Relationship Id=\"" + id +
                "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                "image\" Target=\"media/image" +
                std::to_string(n) + ".jpeg\"/>";
        body += "<w:p><w:r><w:t>Picture " + std::to_string(n) +
                "</w:t></w:r><w:r><w:drawing><a:blip r:embed=\"" + id +
                "\"/></w:drawing></w:r></w:p>";
        addPart(zip, "word/media/image" + std::to_string(n) + ".jpeg", noise);
    }
    addPart(zip, "word/document.xml",
            kDecl + "<w:document " + kNamespaces + "><w:body>" + body +
                "<w:sectPr/></w:body></w:document>");
    addCommonParts(zip, rels);
    return zip.finish();
}

// The corpus package whose main document is the largest, or an empty path.
fs::path largestCorpusPackage() {
    const char* env = std::getenv("MORVEL_CORPUS");
    std::error_code ec;
    if (env == nullptr || !fs::is_directory(fs::path(env) / "docx", ec))
        return {};
    fs::path best;
    uint32_t bestSize = 0;
    for (const auto& e : fs::directory_iterator(fs::path(env) / "docx", ec)) {
        if (!e.is_regular_file() || e.path().filename().string().starts_with("."))
            continue;
        ZipBrokenExtractor zip;
        if (zip.OpenFile(e.path()) != 0)
            continue;
        const uint32_t i = zip.FindEntry(spanOf("word/document.xml"));
        if (i != kEntryNotFound && zip.DamagedCount() == 0 &&
            zip.Entry(i).uncompressedSize > bestSize) {
            bestSize = zip.Entry(i).uncompressedSize;
            best = e.path();
        }
    }
    return best;
}

// The package with its main document's body repeated to about `bytes`; every other part as
// it was (deflated again). Empty when the body cannot be found.
std::vector<uint8_t> grownPackage(const fs::path& path, size_t bytes) {
    ZipBrokenExtractor zip;
    if (zip.OpenFile(path) != 0)
        return {};
    test::ZipBuilder out;
    for (uint32_t i = 0; i < zip.EntryCount(); ++i) {
        const std::string name(zip.Entry(i).name.view());
        std::string content(zip.GetEntryData(i).view());
        if (name == "word/document.xml") {
            const size_t open = content.find("<w:body>");
            const size_t sect = content.rfind("<w:sectPr");
            if (open == std::string::npos || sect == std::string::npos || sect <= open + 8)
                return {};
            const std::string blocks = content.substr(open + 8, sect - open - 8);
            std::string grown = content.substr(0, sect);
            while (grown.size() < bytes)
                grown += blocks;
            content = grown + content.substr(sect);
        }
        addPart(out, name, content);
    }
    return out.finish();
}

// The package with its central directory and end record zeroed.
std::vector<uint8_t> centralZeroed(std::vector<uint8_t> bytes) {
    for (size_t at = bytes.size() >= 22 ? bytes.size() - 22 : 0; at > 0; --at) {
        if (readU32LE(bytes, at) == kEndRecordSignature) {
            const uint32_t cd = readU32LE(bytes, at + 16);
            std::fill(bytes.begin() + std::min<size_t>(cd, at), bytes.end(), 0);
            break;
        }
    }
    return bytes;
}

std::vector<uint8_t> cut(std::vector<uint8_t> bytes) {
    bytes.resize(static_cast<size_t>(static_cast<double>(bytes.size()) * kCutShare));
    return bytes;
}

// One finished command: wall seconds, and CPU seconds (user + system) of the child.
struct Timing {
    double wall = -1, cpu = -1;
    bool ok() const { return wall >= 0; }
};

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// Runs a command, its output thrown away; not ok() unless it exited 0 or 1 (unzip -t of an
// intact file exits 0; recovery of a damaged one may report 1).
Timing timed(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0), dup2(null, 1), dup2(null, 2);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Timing t;
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1)
        return t;
    t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    t.cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    return t;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty()      ? 0
           : v.size() % 2 ? v[v.size() / 2]
                          : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Case {
    std::string name;
    fs::path file, intact;
};

void measure(const Options& opt, const Case& c, const fs::path& out) {
    const std::vector<std::string> recover = {
        opt.morvel, "recover", "-q", "-f", "-j", "1", "-o", out.string(), c.file.string()};
    const std::vector<std::string> unzip = {"unzip", "-tqq", c.intact.string()};
    timed(recover);  // warm-up: the file in the page cache, the program loaded
    timed(unzip);
    std::vector<double> aWall, bWall, wallRatio, aCpu, bCpu, cpuRatio;
    for (int r = 0; r < opt.runs; ++r) {
        const Timing a = timed(recover), b = timed(unzip);
        if (!a.ok() || !b.ok()) {
            std::printf("%-30s failed (recover %s, unzip %s)\n", c.name.c_str(),
                        a.ok() ? "ok" : "failed", b.ok() ? "ok" : "failed");
            return;
        }
        aWall.push_back(a.wall), bWall.push_back(b.wall);
        wallRatio.push_back(a.wall / std::max(b.wall, 1e-6));
        aCpu.push_back(a.cpu), bCpu.push_back(b.cpu);
        cpuRatio.push_back(a.cpu / std::max(b.cpu, 1e-3));
    }
    std::printf("%-30s %8.1f | %9.3f %9.3f %7.2f | %9.3f %9.3f %7.2f\n", c.name.c_str(),
                static_cast<double>(fs::file_size(c.file)) / (1 << 20), median(aWall),
                median(bWall), median(wallRatio), median(aCpu), median(bCpu), median(cpuRatio));
    std::fflush(stdout);
}

std::vector<unsigned> parseSizes(const std::string& list) {
    std::vector<unsigned> v;
    for (size_t at = 0; at < list.size();) {
        const size_t comma = std::min(list.find(',', at), list.size());
        v.push_back(static_cast<unsigned>(std::stoul(list.substr(at, comma - at))));
        at = comma + 1;
    }
    return v;
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--morvel" && more)
            opt.morvel = argv[++i];
        else if (a == "--runs" && more)
            opt.runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--sizes" && more)
            opt.sizes = parseSizes(argv[++i]);
        else if (a == "--no-images")
            opt.images = false;
        else if (a == "--no-corpus")
            opt.corpus = false;
        else if (a == "--keep" && more)
            opt.keep = argv[++i];
        else {
            std::fprintf(stderr,
                         "usage: docx_vs_unzip [--morvel PATH] [--runs N] [--sizes 10,50,200] "
                         "[--no-images] [--no-corpus] [--keep DIR]\n");
            return 2;
        }
    }
    std::string tmpl = (fs::temp_directory_path() / "morvel-docx-bench-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr)
        return 1;
    const fs::path work = opt.keep.empty() ? fs::path(tmpl) : fs::path(opt.keep);
    fs::create_directories(work / "out");

    std::vector<Case> cases;
    // Writes a package and its two damaged copies (when `damaged`), adding their cases.
    const auto add = [&](const std::string& name, const std::vector<uint8_t>& bytes, bool damaged) {
        const fs::path intact = work / (name + ".docx");
        writeFileAtomic(intact, bytes, true);
        cases.push_back({name, intact, intact});
        if (!damaged)
            return;
        const fs::path zeroed = work / (name + "-cd-zeroed.docx");
        const fs::path cutFile = work / (name + "-cut80.docx");
        writeFileAtomic(zeroed, centralZeroed(bytes), true);
        writeFileAtomic(cutFile, cut(bytes), true);
        cases.push_back({name + " cd zeroed", zeroed, intact});
        cases.push_back({name + " cut 80%", cutFile, intact});
    };
    if (opt.corpus) {
        const fs::path real = largestCorpusPackage();
        if (real.empty()) {
            std::printf("(no corpus: set MORVEL_CORPUS to include real packages)\n");
        } else {
            std::vector<uint8_t> bytes;
            readWholeFile(real, bytes);
            add("corpus " + real.stem().string(), bytes, true);
            const std::vector<uint8_t> grown = grownPackage(real, kGrownDocumentBytes);
            if (!grown.empty())
                add("corpus grown 12MB", grown, true);
        }
    }
    for (unsigned mb : opt.sizes)
        add("text " + std::to_string(mb) + "MB", textPackage(size_t{mb} << 20), true);
    if (opt.images)
        add("images 50MB", imagesPackage(), false);

    std::printf(
        "both results of `morvel recover` vs `unzip -t` of the intact package; "
        "medians of %d paired runs\n",
        opt.runs);
    std::printf("%-30s %8s | %9s %9s %7s | %9s %9s %7s\n", "package", "file_MB", "wall_rec",
                "wall_unzip", "ratio", "cpu_rec", "cpu_unzip", "ratio");
    for (const Case& c : cases)
        measure(opt, c, work / "out");
    if (opt.keep.empty())
        fs::remove_all(work);
    return 0;
}
