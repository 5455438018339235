#include "tests/ui/ui_test_support.h"

#include <QElapsedTimer>
#include <QThread>

#include "discovery/folder_search.h"
#include "tests/support/zip_builder.h"

namespace morvel::test {

void ensureApplication() {
    if (QApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "test_ui";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

WindowFixture::WindowFixture() {
    ensureApplication();
    StoreSetup setup;
    setup.settingsFile = dir_.path() / "settings.ini";
#ifdef MORVEL_TEMPLATE_DIR
    writeFile(setup.settingsFile, bytesOf("Path=" MORVEL_TEMPLATE_DIR "\n"));
#endif
    setup.workingFolder = dir_.path() / "work";
    setup.documentsFolder = dir_.path() / "documents";
    std::string error;
    store_ = OpenDocumentStore(setup, error);
    if (!store_)
        throw std::runtime_error(error);
    frame_ = std::make_unique<CMainFrame>(store_);
    frame_->setErrorSink([this](const QString& t) { errors.push_back(t.toStdString()); });
    frame_->setUrlOpener([this](const QUrl& u) {
        opened.push_back(u);
        return openSucceeds;
    });
    // The window's own settings and kept copies stay inside the test's folder.
    frame_->setUiSettingsFile(QString::fromStdString((dir_.path() / "ui.ini").string()));
    frame_->setOpenCopyFolder(QString::fromStdString((dir_.path() / "cache").string()));
    frame_->setCloseQuestion([this](const QString&) { return closeAnswer; });
}

WindowFixture::~WindowFixture() {
    frame_.reset();
}

int32_t WindowFixture::add(const std::string& folder, const std::string& name, uint16_t format,
                           uint16_t category) {
    auto r = store_->AddDocument(name, folder, format, category);
    rebuild();
    return r.index;
}

void WindowFixture::rebuild() {
    frame_->workWindow()->rebuildTree();
}

void WindowFixture::selectRecord(int32_t index) {
    CMorvelTreeView* tree = frame_->workWindow()->tree();
    tree->setCurrentItem(tree->itemForRecord(index));
}

void WindowFixture::selectRoot() {
    CMorvelTreeView* tree = frame_->workWindow()->tree();
    tree->setCurrentItem(tree->rootItem());
}

void WindowFixture::selectFolder(int n) {
    CMorvelTreeView* tree = frame_->workWindow()->tree();
    tree->setCurrentItem(tree->rootItem()->child(n));
}

std::vector<std::string> WindowFixture::tildeFiles() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(store_->workingFolder())) {
        std::string n = e.path().filename().string();
        if (!n.empty() && n[0] == '~')
            names.push_back(n);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool WindowFixture::waitUntil(const std::function<bool()>& done,
                              std::chrono::milliseconds timeout) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeout.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

std::vector<std::string> treeTexts(const CMorvelTreeView& tree) {
    std::vector<std::string> out;
    QTreeWidgetItem* root = tree.topLevelItem(0);
    if (!root)
        return out;
    out.push_back(root->text(0).toStdString());
    for (int f = 0; f < root->childCount(); ++f) {
        out.push_back(root->child(f)->text(0).toStdString());
        for (int d = 0; d < root->child(f)->childCount(); ++d)
            out.push_back("  " + root->child(f)->child(d)->text(0).toStdString());
    }
    return out;
}

std::vector<uint8_t> docxWithText(const std::string& text) {
    const std::string name = "word/document.xml";
    const std::string xml =
        "<?xml version=\"1.0\"?><w:document xmlns:w=\"x\"><w:body><w:p><w:r><w:rPr><w:b/>"
        "</w:rPr><w:t>" +
        text + "</w:t></w:r></w:p></w:body></w:document>";
    // Only the stored part's local record, as a package cut off before its directory.
    ZipBuilder zip;
    zip.add(name, xml, 0);
    return zip.localPart();
}

}  // namespace morvel::test
