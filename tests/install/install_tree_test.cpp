#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/cli_runner.h"
#include "tests/support/external_tools.h"
#include "tests/support/test_files.h"
#include "tests/support/zip_builder.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

const char kNotFound[] = "the template store temp.dat was not found (looked in: ";

size_t countOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// An intact package with one paragraph of text.
std::vector<uint8_t> intactDocx() {
    return test::makePackage({
        {"[Content_Types].xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
         "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"rels\" "
         "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
         "<Override PartName=\"/word/document.xml\" ContentType=\"application/"
         "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>"},
        {"_rels/.rels",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
         "2006/relationships/officeDocument\" Target=\"word/document.xml\"/></Relationships>"},
        {"word/document.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
         "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
         "<w:body><w:p><w:r><w:t>Minutes of the harbour committee</w:t></w:r></w:p>"
         "</w:body></w:document>"},
    });
}

// Installs the build tree into prefix with cmake --install, as a user or packager would.
void installInto(const fs::path& prefix) {
    test::CliResult r = test::runProgram(
        MORVEL_CMAKE_COMMAND, {"--install", MORVEL_BUILD_DIR, "--prefix", prefix.string()}, "/");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
}

TEST(InstallTree, LaysOutTheProgramsDataAndDesktopFiles) {
    test::TempDir dir;
    const fs::path prefix = dir.path() / "prefix";
    ASSERT_NO_FATAL_FAILURE(installInto(prefix));

    std::vector<std::string> expected = {
        "bin/morvel",
        "share/morvel/temp.dat",
        "share/man/man1/morvel.1.gz",
        "share/bash-completion/completions/morvel",
        "share/doc/morvel/README.md",
        "share/doc/morvel/copyright",
        "share/doc/morvel/changelog.gz",
    };
    if (MORVEL_GUI_BUILT) {
        expected.insert(expected.end(), {
                                            "bin/morvel-gui",
                                            "share/man/man1/morvel-gui.1.gz",
                                            "share/applications/morvel.desktop",
                                            "share/metainfo/org.morvel.morvel.metainfo.xml",
                                            "share/icons/hicolor/scalable/apps/morvel.svg",
                                            "share/icons/hicolor/48x48/apps/morvel.png",
                                        });
    }
    for (const std::string& file : expected)
        EXPECT_TRUE(fs::is_regular_file(prefix / file)) << file;
    EXPECT_EQ(test::readFile(prefix / "share/morvel/temp.dat"),
              test::readFile(MORVEL_BUILT_TEMPLATE_STORE));
    // Compressed without a stored name or time, so that two builds give the same bytes.
    const std::vector<uint8_t> page = test::readFile(prefix / "share/man/man1/morvel.1.gz");
    ASSERT_GE(page.size(), 10u);
    EXPECT_EQ(page[0], 0x1f);
    EXPECT_EQ(page[1], 0x8b);
    EXPECT_EQ(page[3] & 0x08, 0) << "a file name is stored";
    EXPECT_EQ(std::vector<uint8_t>(page.begin() + 4, page.begin() + 8), std::vector<uint8_t>(4, 0))
        << "a time is stored";
}

TEST(InstallTree, InstalledProgramFindsItsTemplateStoreFromAnyFolder) {
    test::TempDir dir;
    const fs::path prefix = dir.path() / "prefix";
    ASSERT_NO_FATAL_FAILURE(installInto(prefix));
    const fs::path program = prefix / "bin" / "morvel";
    const fs::path work = dir.path() / "elsewhere";
    fs::create_directories(work / "out");
    test::writeFile(work / "minutes.docx", intactDocx());
    test::writeFile(work / "agenda.docx", intactDocx());

    test::CliResult r = test::runProgram(program, {"recover", "minutes.docx", "-o", "out"}, work);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find(kNotFound), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_regular_file(work / "out" / "minutes_recovered.docx"));
    EXPECT_TRUE(fs::is_regular_file(work / "out" / "minutes_docs_text.docx"));

    // Without the store the program says so once, naming every folder it looked in, however
    // many documents need it.
    if (fs::exists(fs::path(MORVEL_CONFIGURED_DATA_DIR) / "temp.dat"))
        GTEST_SKIP() << "a temp.dat is installed in " << MORVEL_CONFIGURED_DATA_DIR;
    fs::remove(prefix / "share" / "morvel" / "temp.dat");
    r = test::runProgram(program, {"recover", "--force", "minutes.docx", "agenda.docx"}, work);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(countOf(r.err, kNotFound), 1u) << r.err;
    const std::string looked = r.err.substr(r.err.find(kNotFound));
    for (const fs::path& folder :
         {prefix / "bin", prefix / "share" / "morvel", fs::path(MORVEL_CONFIGURED_DATA_DIR)}) {
        EXPECT_NE(looked.find(folder.string()), std::string::npos) << folder << "\n" << r.err;
    }
}

TEST(InstallTree, TemplateStoreBesideTheProgramComesFirst) {
    // A copy of the program in a fake prefix whose share/morvel holds a damaged store and whose
    // bin holds the real one: the one beside the program must be used.
    test::TempDir dir;
    const fs::path bin = dir.path() / "prefix" / "bin";
    const fs::path share = dir.path() / "prefix" / "share" / "morvel";
    fs::create_directories(bin);
    fs::create_directories(share);
    fs::copy_file(MORVEL_CLI_PATH, bin / "morvel");
    fs::copy_file(MORVEL_BUILT_TEMPLATE_STORE, bin / "temp.dat");
    test::writeFile(share / "temp.dat", test::bytesOf("not a template store"));
    test::writeFile(dir.path() / "minutes.docx", intactDocx());

    test::CliResult r = test::runProgram(bin / "morvel", {"recover", "minutes.docx"}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;

    // And share/morvel is used when nothing is beside the program.
    fs::remove(bin / "temp.dat");
    fs::copy_file(MORVEL_BUILT_TEMPLATE_STORE, share / "temp.dat",
                  fs::copy_options::overwrite_existing);
    r = test::runProgram(bin / "morvel", {"recover", "--force", "minutes.docx"}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

// The hand-written files pass the checkers of their formats, where those are installed.
TEST(InstallFiles, PassTheirValidators) {
    const fs::path source = MORVEL_SOURCE_DIR;
    const fs::path generated = MORVEL_PACKAGING_BUILD_DIR;
    struct Check {
        const char* program;
        std::string command;
    };
    std::vector<Check> checks = {
        {"groff",
         "groff -man -Tutf8 -ww -z " + test::shellQuote((generated / "morvel.1").string())},
        {"bash",
         "bash -n " + test::shellQuote((source / "packaging/bash-completion/morvel").string())},
    };
    if (MORVEL_GUI_BUILT) {
        checks.push_back({"groff", "groff -man -Tutf8 -ww -z " +
                                       test::shellQuote((generated / "morvel-gui.1").string())});
    }
    // These two describe the desktop program but do not need it built.
    checks.push_back({"desktop-file-validate",
                      "desktop-file-validate " +
                          test::shellQuote((source / "packaging/morvel.desktop").string())});
    checks.push_back(
        {"appstreamcli",
         "appstreamcli validate --no-net " +
             test::shellQuote((generated / "org.morvel.morvel.metainfo.xml").string())});
    for (const Check& c : checks) {
        if (!test::haveProgram(c.program)) {
            std::printf("skipped (%s not installed): %s\n", c.program, c.command.c_str());
            continue;
        }
        std::string output;
        const int status = test::runCommand(c.command + " 2>&1", output);
        EXPECT_EQ(status, 0) << c.command << "\n" << output;
        // groff prints nothing for a clean page; the validators' hints are not faults (two
        // main categories, Office and Utility, are listed on purpose).
        EXPECT_EQ(output.find("warning"), std::string::npos) << c.command << "\n" << output;
        EXPECT_EQ(output.find("error"), std::string::npos) << c.command << "\n" << output;
        if (std::string(c.program) == "groff") {
            EXPECT_EQ(output, "") << c.command;
        }
    }
}

}  // namespace
}  // namespace morvel
