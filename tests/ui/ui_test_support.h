#pragma once

#include <QApplication>
#include <QTreeWidgetItem>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/test_files.h"
#include "ui/main_frame.h"

namespace morvel::test {

// The application object of the suite, made once, offscreen unless a platform was chosen.
void ensureApplication();

// A main window on a store of its own: settings, working and documents folders in a fresh
// temporary folder.
class WindowFixture {
  public:
    WindowFixture();
    ~WindowFixture();
    CMainFrame& frame() { return *frame_; }
    CDocumentStore& store() { return *store_; }
    const std::filesystem::path& root() const { return dir_.path(); }
    // Adds a record without a search and shows it in the tree.
    int32_t add(const std::string& folder, const std::string& name, uint16_t format,
                uint16_t category = kCategoryOrdinary);
    void rebuild();
    // Selects the item of a record, the root, or the n-th folder item.
    void selectRecord(int32_t index);
    void selectRoot();
    void selectFolder(int n);
    // Names of the files in the working folder that begin with "~".
    std::vector<std::string> tildeFiles() const;
    // Processes events until done() or the time-out passes; false on time-out.
    bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    std::vector<std::string> errors;
    std::vector<QUrl> opened;
    bool openSucceeds = true;  // what the stand-in for the desktop's opener answers
    QMessageBox::StandardButton closeAnswer = QMessageBox::Discard;

  private:
    TempDir dir_;
    std::shared_ptr<CDocumentStore> store_;
    std::unique_ptr<CMainFrame> frame_;
};

// Texts of the top-level and child items: "Morvel", then each folder followed by its
// documents indented by two spaces.
std::vector<std::string> treeTexts(const CMorvelTreeView& tree);

// A minimal .docx package holding one paragraph of text.
std::vector<uint8_t> docxWithText(const std::string& text);

}  // namespace morvel::test
