#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/document_store.h"
#include "core/folders.h"
#include "core/settings.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

TEST(Settings, RoundTripAndDefaults) {
    test::TempDir dir;
    const fs::path file = dir.path() / "config" / "morvel" / "settings.ini";
    Settings fresh;
    EXPECT_FALSE(loadSettings(file, fresh));
    EXPECT_EQ(fresh.options(), kOptionScanDocumentsAtStart);
    EXPECT_EQ(fresh.path, "");

    for (uint32_t bits = 0; bits < 8; ++bits) {
        Settings out;
        out.path = "/opt/morvel share";
        out.setOptions(bits | 0x40);  // bits above the three options are not kept
        ASSERT_EQ(saveSettings(file, out), "");
        Settings in;
        ASSERT_TRUE(loadSettings(file, in));
        EXPECT_EQ(in.options(), bits);
        EXPECT_EQ(in.path, "/opt/morvel share");
    }

    test::writeFile(file, test::bytesOf("junk\r\noptions=banana\r\nPath=/p\r\n"));
    Settings junk;
    ASSERT_TRUE(loadSettings(file, junk));
    EXPECT_EQ(junk.path, "/p");
    EXPECT_EQ(junk.options(), kOptionScanDocumentsAtStart);
}

TEST(Settings, StoreWithoutSettingsUsesAPrivateWorkingFolder) {
    test::TempDir dir;
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string previous = saved ? saved : "";
    ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);

    StoreSetup setup;
    setup.settingsFile = dir.path() / "absent" / "settings.ini";
    std::string error;
    auto store = CDocumentStore::Create(setup, error);
    if (saved)
        ::setenv("XDG_RUNTIME_DIR", previous.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
    ASSERT_TRUE(store) << error;

    const fs::path work = store->workingFolder();
    EXPECT_EQ(work.parent_path(), dir.path() / "morvel");
    for (const fs::path& p : {work.parent_path(), work}) {
        struct stat st {};
        ASSERT_EQ(::lstat(p.c_str(), &st), 0) << p;
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u) << p;
    }
    EXPECT_EQ(store->programFolder(), defaultProgramFolder());
    EXPECT_TRUE(store->settings().scanDocumentsAtStart);
    EXPECT_FALSE(fs::exists(setup.settingsFile));

    // Changing an option writes the file; the working folder goes away at shutdown.
    ASSERT_EQ(store->SetOptions(false, true, false), "");
    Settings in;
    ASSERT_TRUE(loadSettings(setup.settingsFile, in));
    EXPECT_EQ(in.options(), kOptionShowTilde);
    store->Shutdown();
    EXPECT_FALSE(fs::exists(work));
}

TEST(Settings, PathNamesTheProgramFolder) {
    test::TempDir dir;
    Settings s;
    s.path = (dir.path() / "program").string();
    ASSERT_EQ(saveSettings(dir.path() / "settings.ini", s), "");
    StoreSetup setup;
    setup.settingsFile = dir.path() / "settings.ini";
    setup.workingFolder = dir.path() / "work";
    std::string error;
    auto store = CDocumentStore::Create(setup, error);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(store->programFolder(), dir.path() / "program");
    EXPECT_TRUE(fs::is_directory(dir.path() / "work"));

    // A working folder that cannot be made refuses the store.
    setup.workingFolder = dir.path() / "settings.ini" / "work";
    EXPECT_FALSE(CDocumentStore::Create(setup, error));
    EXPECT_EQ(error.rfind("Creating TempDir(", 0), 0u) << error;
}

}  // namespace
}  // namespace morvel
