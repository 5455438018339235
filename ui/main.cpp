#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <string>
#include <vector>

#include "core/folders.h"
#include "discovery/default_search_list.h"
#include "discovery/folder_search.h"
#include "discovery/named_documents.h"
#include "discovery/recent_file_cleanup.h"
#include "ui/main_frame.h"
#include "ui/quit_signals.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("morvel"));
    QApplication::setApplicationDisplayName(QStringLiteral("Morvel"));
    QApplication::setDesktopFileName(QStringLiteral("morvel"));

    // Documents named on the command line (Qt's own options are already taken out) are listed,
    // selected and recovered instead of the start-up scan, which would fill the same table
    // from its thread.
    std::vector<std::string> named;
    for (int i = 1; i < argc; ++i)
        named.emplace_back(argv[i]);

    morvel::StoreSetup setup;
    setup.allowStartupScan = named.empty();
    std::string error;
    std::shared_ptr<morvel::CDocumentStore> store = morvel::OpenDocumentStore(setup, error);
    if (!store) {
        QMessageBox::critical(nullptr, QStringLiteral("Morvel"), QString::fromStdString(error));
        return 1;
    }
    // Every .docx needs temp.dat: say once, at the start, where it was looked for.
    const morvel::TemplateStoreLookup templates =
        morvel::findTemplateStore(store->settings().path.empty()
                                      ? morvel::templateStoreFolders()
                                      : std::vector<std::filesystem::path>{store->settings().path});
    std::vector<std::string> warnings;
    if (!templates.found())
        warnings.push_back(morvel::templateStoreNotFoundMessage(templates) +
                           "; .docx documents cannot be recovered");
    int rc;
    {
        morvel::CMainFrame frame(store);
        frame.setDefaultSearchList(QString::fromStdString(morvel::DefaultDriveList()));
        morvel::closeOnQuitSignals(&frame);
        frame.show();
        QStringList paths;
        for (const std::string& s : named)
            paths << QString::fromLocal8Bit(s.c_str());
        for (const QString& problem : frame.openPaths(paths))
            warnings.push_back(problem.toStdString());
        if (!warnings.empty()) {
            QStringList lines;
            for (const std::string& s : warnings)
                lines << QString::fromStdString(s);
            QMessageBox::warning(&frame, QStringLiteral("Morvel"), lines.join(QLatin1Char('\n')));
        }

        rc = app.exec();
        // The window is closed: take the preview files out of the recent-file lists, then stop
        // a running job and clean the working folder.
        morvel::CleanWordRecentFiles(morvel::defaultRecentFileLists(), store->workingFolder());
        store->Shutdown();
    }
    return rc;
}
