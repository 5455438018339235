#pragma once

#include <QString>

namespace morvel {

// The pages the full-document tab shows when there is no recovered document to show.
enum class PreviewPage { START_PAGE, NO_VIEW_FOR_FILES, NO_VIEW_FOR_FOLDERS, VERY_DAMAGE };

QString previewPageHtml(PreviewPage page);

}  // namespace morvel
