#include <QApplication>
#include <QMessageBox>

#include "discovery/default_search_list.h"
#include "discovery/folder_search.h"
#include "discovery/recent_file_cleanup.h"
#include "ui/main_frame.h"
#include "ui/quit_signals.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Morvel"));

    morvel::StoreSetup setup;
    setup.allowStartupScan = true;
    std::string error;
    std::shared_ptr<morvel::CDocumentStore> store = morvel::OpenDocumentStore(setup, error);
    if (!store) {
        QMessageBox::critical(nullptr, QStringLiteral("Morvel"), QString::fromStdString(error));
        return 1;
    }
    int rc;
    {
        morvel::CMainFrame frame(store);
        frame.setDefaultSearchList(QString::fromStdString(morvel::DefaultDriveList()));
        morvel::closeOnQuitSignals(&frame);
        frame.show();
        rc = app.exec();
        // The window is closed: take the preview files out of the recent-file lists, then stop
        // a running job and clean the working folder.
        morvel::CleanWordRecentFiles(morvel::defaultRecentFileLists(), store->workingFolder());
        store->Shutdown();
    }
    return rc;
}
