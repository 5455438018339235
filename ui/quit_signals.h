#pragma once

#include <QObject>

namespace morvel {

// Turns SIGTERM, SIGINT and SIGHUP (a logout, a terminal's Ctrl+C) into closing `window` on
// the UI thread, so that the normal exit runs: the running job is stopped, the preview files'
// recent-list entries are removed and the working folder is cleaned.
void closeOnQuitSignals(QWidget* window);

}  // namespace morvel
