#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "core/document_store.h"
#include "core/run_folder.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

// Which run folders a start may remove: only real folders of ours whose lock file is a real
// file that nobody holds.
TEST(RunFolders, OnlyFoldersWithAnUnheldLockOfOursAreRemoved) {
    test::TempDir dir;
    const fs::path working = dir.path() / "morvel";
    fs::create_directory(working);
    const fs::path outside = dir.path() / "elsewhere";
    fs::create_directory(outside);
    test::writeFile(outside / "lock", {});
    test::writeFile(outside / "precious", test::bytesOf("not ours"));

    auto runFolder = [&](const char* name) {
        fs::create_directory(working / name);
        test::writeFile(working / name / "temp1", test::bytesOf("result"));
        return working / name;
    };
    const fs::path stale = runFolder("run-Stale1");
    test::writeFile(stale / "lock", {});
    const fs::path noLock = runFolder("run-NoLck1");  // a run still starting, or an old one
    const fs::path linkedLock = runFolder("run-LnkLck");
    fs::create_symlink(outside / "lock", linkedLock / "lock");
    const fs::path held = runFolder("run-Held11");
    test::writeFile(held / "lock", {});
    int heldFd = ::open((held / "lock").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(heldFd, LOCK_EX), 0);
    const fs::path otherName = runFolder("running-1");
    test::writeFile(otherName / "lock", {});
    fs::create_directory_symlink(outside, working / "run-Link11");  // a link to a folder

    EXPECT_EQ(removeStaleRunFolders(working), 1u);
    EXPECT_FALSE(fs::exists(stale));
    for (const fs::path& kept : {noLock, linkedLock, held, otherName})
        EXPECT_TRUE(fs::exists(kept / "temp1")) << kept;
    EXPECT_TRUE(fs::is_symlink(working / "run-Link11"));
    EXPECT_TRUE(fs::exists(outside / "lock"));
    EXPECT_TRUE(fs::exists(outside / "precious"));

    // The holder is gone: the next start removes that folder too.
    ::close(heldFd);
    EXPECT_EQ(removeStaleRunFolders(working), 1u);
    EXPECT_FALSE(fs::exists(held));
}

TEST(RunFolders, ALiveRunFolderIsLockedAndRemovedWithItsOwner) {
    test::TempDir dir;
    fs::path made;
    {
        RunFolder run;
        std::string error;
        ASSERT_TRUE(run.create(dir.path(), error)) << error;
        made = run.path();
        EXPECT_EQ(made.parent_path(), dir.path());
        EXPECT_TRUE(fs::is_regular_file(made / kRunLockName));
        test::writeFile(made / "temp1", test::bytesOf("in use"));
        EXPECT_EQ(removeStaleRunFolders(dir.path()), 0u);
        EXPECT_TRUE(fs::exists(made / "temp1"));
    }
    EXPECT_FALSE(fs::exists(made));
}

// The desktop program's store works in a locked run folder of the private working folder,
// and clears the folders of runs that were killed before it.
TEST(RunFolders, AStoreLocksItsRunFolderAndClearsStaleOnes) {
    test::TempDir dir;
    const char* oldRuntime = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = oldRuntime ? oldRuntime : "";
    ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    const fs::path stale = dir.path() / "morvel" / "run-Kil1ed";
    fs::create_directories(stale);
    fs::permissions(dir.path() / "morvel", fs::perms::owner_all, fs::perm_options::replace);
    test::writeFile(stale / kRunLockName, {});
    test::writeFile(stale / "temp1", test::bytesOf("left by a killed run"));
    StoreSetup setup;
    setup.settingsFile = dir.path() / "settings.ini";
    setup.documentsFolder = dir.path();
    std::string error;
    fs::path working;
    {
        auto store = CDocumentStore::Create(setup, error);
        ASSERT_TRUE(store) << error;
        working = store->workingFolder();
        EXPECT_FALSE(fs::exists(stale));
        EXPECT_EQ(working.parent_path(), dir.path() / "morvel");
        EXPECT_TRUE(fs::is_regular_file(working / kRunLockName));
        EXPECT_EQ(removeStaleRunFolders(dir.path() / "morvel"), 0u);
    }
    EXPECT_FALSE(fs::exists(working));
    if (oldRuntime)
        ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace morvel
