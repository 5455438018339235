#include "discovery/recent_file_cleanup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/test_files.h"

namespace morvel {
namespace {

const std::filesystem::path kWork = "/run/user/1000/morvel";

TEST(RecentPreviewUri, OnlyPreviewFilesOfTheWorkingFolderMatch) {
    struct Case {
        const char* uri;
        bool preview;
    } cases[] = {
        {"file:///run/user/1000/morvel/~temporary_1_2_3_4.docx", true},
        {"file:///run/user/1000/morvel/~temporary_1_2_3_4", true},
        {"file://localhost/run/user/1000/morvel/%7Etemporary_5_6_7_8", true},
        {"/run/user/1000/morvel/~temporary_9", true},
        {"file:///run/user/1000/morvel/./~temporary_9", true},
        {"file:///run/user/1000/morvel/report.docx", false},
        {"file:///run/user/1000/morvel/sub/~temporary_1", false},
        {"file:///home/ann/~temporary_1_2_3_4.docx", false},
        {"file:///run/user/1000/morvel2/~temporary_1", false},
        {"file:///run/user/1000/morvel/temporary_1", false},
        {"https://example.org/run/user/1000/morvel/~temporary_1", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isPreviewFileUri(c.uri, kWork), c.preview) << c.uri;
    EXPECT_FALSE(isPreviewFileUri("file:///x/~temporary_1", ""));
}

// A bookmark list as the desktop writes it: ours in the middle and at the end, a self-closing
// one, and others (one in another folder with the same prefix) that must stay byte for byte.
const char* const kXbelHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<xbel version=\"1.0\"\n"
    "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
    "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\"\n"
    ">\n";
const char* const kXbelKeepA =
    "  <bookmark href=\"file:///home/ann/Letters/report%20final.docx\" "
    "added=\"2024-01-02T10:00:00Z\" "
    "modified=\"2024-01-02T10:00:00Z\" visited=\"2024-01-02T10:00:00Z\">\n"
    "    <info>\n"
    "      <metadata owner=\"http://freedesktop.org\">\n"
    "        <mime:mime-type "
    "type=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document\"/>\n"
    "        <bookmark:applications>\n"
    "          <bookmark:application name=\"Writer\" exec=\"&apos;soffice %u&apos;\" "
    "modified=\"2024-01-02T10:00:00Z\" count=\"1\"/>\n"
    "        </bookmark:applications>\n"
    "      </metadata>\n"
    "    </info>\n"
    "  </bookmark>\n";
const char* const kXbelOurs =
    "  <bookmark href=\"file:///run/user/1000/morvel/%7Etemporary_41_18467_6334_1700000000.docx\" "
    "added=\"2024-01-03T10:00:00Z\" modified=\"2024-01-03T10:00:00Z\" "
    "visited=\"2024-01-03T10:00:00Z\">\n"
    "    <info>\n"
    "      <metadata owner=\"http://freedesktop.org\">\n"
    "        <bookmark:applications>\n"
    "          <bookmark:application name=\"Writer\" exec=\"&apos;soffice %u&apos;\" "
    "count=\"1\"/>\n"
    "        </bookmark:applications>\n"
    "      </metadata>\n"
    "    </info>\n"
    "  </bookmark>\n";
const char* const kXbelOursShort =
    "  <bookmark href='file:///run/user/1000/morvel/~temporary_1_2_3_4' added=\"x\"/>\n";
const char* const kXbelKeepB =
    "  <bookmark href=\"file:///tmp/~temporary_1_2_3_4.docx\" added=\"2024-01-04T10:00:00Z\">\n"
    "  </bookmark>\n";
const char* const kXbelTail = "</xbel>";

std::string xbel(bool withOurs) {
    std::string s = kXbelHead;
    s += kXbelKeepA;
    if (withOurs)
        s += kXbelOurs;
    s += kXbelKeepB;
    if (withOurs)
        s += kXbelOursShort;
    return s + kXbelTail;
}

TEST(RecentBookmarks, PreviewEntriesGoOthersStayByteForByte) {
    EXPECT_EQ(withoutPreviewBookmarks(xbel(true), kWork), xbel(false));
    EXPECT_EQ(withoutPreviewBookmarks(xbel(false), kWork), xbel(false));
}

TEST(RecentBookmarks, BrokenListIsLeftAlone) {
    std::string cut = std::string(kXbelHead) + kXbelKeepA +
                      std::string(kXbelOurs).substr(0, 120);  // unterminated element
    EXPECT_EQ(withoutPreviewBookmarks(cut, kWork), cut);
    EXPECT_EQ(withoutPreviewBookmarks("", kWork), "");
}

// Registry modifications of the office suite: one pick-list entry of ours (its order item and
// its item properties) among other settings and another document.
const char* const kXcuHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
    "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">\n"
    "<item oor:path=\"/org.openoffice.Office.Common/Misc\"><prop oor:name=\"FirstRun\" "
    "oor:op=\"fuse\"><value>false</value></prop></item>\n";
const char* const kXcuKeep =
    "<item oor:path=\"/org.openoffice.Office.Histories/Histories/"
    "org.openoffice.Office.Histories:HistoryInfo['PickList']/OrderList/"
    "org.openoffice.Office.Histories:HistoryOrder['0']\"><prop oor:name=\"HistoryItemRef\" "
    "oor:op=\"fuse\"><value>file:///home/ann/notes.doc</value></prop></item>\n"
    "<item oor:path=\"/org.openoffice.Office.Histories/Histories/"
    "org.openoffice.Office.Histories:HistoryInfo['PickList']/ItemList/"
    "org.openoffice.Office.Histories:HistoryItem['file:///home/ann/notes.doc']\">"
    "<prop oor:name=\"Title\" oor:op=\"fuse\"><value>notes</value></prop></item>\n";
const char* const kXcuOurs =
    "<item oor:path=\"/org.openoffice.Office.Histories/Histories/"
    "org.openoffice.Office.Histories:HistoryInfo['PickList']/OrderList/"
    "org.openoffice.Office.Histories:HistoryOrder['1']\"><prop oor:name=\"HistoryItemRef\" "
    "oor:op=\"fuse\"><value>file:///run/user/1000/morvel/~temporary_7_8_9_10.docx</value>"
    "</prop></item>\n"
    "<item oor:path=\"/org.openoffice.Office.Histories/Histories/"
    "org.openoffice.Office.Histories:HistoryInfo['PickList']/ItemList/"
    "org.openoffice.Office.Histories:HistoryItem[&apos;file:///run/user/1000/morvel/"
    "~temporary_7_8_9_10.docx&apos;]\"><prop oor:name=\"Filter\" oor:op=\"fuse\">"
    "<value>MS Word 2007 XML</value></prop></item>\n";
// A setting outside the history that mentions a preview file is not ours to change.
const char* const kXcuOther =
    "<item oor:path=\"/org.openoffice.Office.Common/Path/Info\"><prop oor:name=\"WorkPathChanged\" "
    "oor:op=\"fuse\"><value>file:///run/user/1000/morvel/~temporary_7_8_9_10.docx</value>"
    "</prop></item>\n";
const char* const kXcuTail = "</oor:items>\n";

std::string xcu(bool withOurs) {
    std::string s = kXcuHead;
    if (withOurs)
        s += kXcuOurs;
    s += kXcuKeep;
    s += kXcuOther;
    return s + kXcuTail;
}

TEST(RecentHistory, PreviewItemsGoOthersStayByteForByte) {
    EXPECT_EQ(withoutPreviewHistory(xcu(true), kWork), xcu(false));
    EXPECT_EQ(withoutPreviewHistory(xcu(false), kWork), xcu(false));
}

TEST(RecentCleanup, RewritesBothListsInPlaceKeepingTheirMode) {
    test::TempDir dir;
    RecentFileLists lists{dir.path() / "recently-used.xbel",
                          dir.path() / "lo/registrymodifications.xcu"};
    std::filesystem::create_directories(dir.path() / "lo");
    test::writeFile(lists.bookmarks, test::bytesOf(xbel(true)));
    test::writeFile(lists.history, test::bytesOf(xcu(true)));
    ::chmod(lists.bookmarks.c_str(), 0600);

    CleanWordRecentFiles(lists, kWork);

    EXPECT_EQ(test::readFile(lists.bookmarks), test::bytesOf(xbel(false)));
    EXPECT_EQ(test::readFile(lists.history), test::bytesOf(xcu(false)));
    struct stat st {};
    ASSERT_EQ(::stat(lists.bookmarks.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              2);  // no partial file left beside the lists
}

// Another program's list that names none of our preview files is never written, whatever it
// holds: not the same bytes written again, not a new file put in its place.
TEST(RecentCleanup, ListsWithoutOurEntriesAreNeverRewritten) {
    const std::string lists[] = {
        xbel(false),
        xcu(false),
        std::string(kXbelHead) + kXbelKeepA + std::string(kXbelOurs).substr(0, 120),
        "<xbel><bookmark href=\"file:///elsewhere/~temporary_1.docx\"/></xbel>",
        "",
    };
    for (const std::string& text : lists) {
        test::TempDir dir;
        const RecentFileLists files{dir.path() / "recently-used.xbel",
                                    dir.path() / "registrymodifications.xcu"};
        test::writeFile(files.bookmarks, test::bytesOf(text));
        test::writeFile(files.history, test::bytesOf(text));
        ::chmod(files.bookmarks.c_str(), 0444);  // even a read-only list stays as it is
        struct stat before[2]{}, after[2]{};
        ASSERT_EQ(::stat(files.bookmarks.c_str(), &before[0]), 0);
        ASSERT_EQ(::stat(files.history.c_str(), &before[1]), 0);

        CleanWordRecentFiles(files, kWork);

        ASSERT_EQ(::stat(files.bookmarks.c_str(), &after[0]), 0);
        ASSERT_EQ(::stat(files.history.c_str(), &after[1]), 0);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(after[i].st_ino, before[i].st_ino) << text.substr(0, 60);
            EXPECT_EQ(after[i].st_mtim.tv_nsec, before[i].st_mtim.tv_nsec);
            EXPECT_EQ(after[i].st_mode, before[i].st_mode);
        }
        EXPECT_EQ(test::readFile(files.bookmarks), test::bytesOf(text));
        EXPECT_EQ(test::readFile(files.history), test::bytesOf(text));
    }
}

TEST(RecentCleanup, MissingListsAreSilent) {
    test::TempDir dir;
    CleanWordRecentFiles({dir.path() / "none.xbel", dir.path() / "none/x.xcu"}, kWork);
    CleanWordRecentFiles({}, kWork);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace morvel
