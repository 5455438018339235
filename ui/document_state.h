#pragma once

#include <QString>

#include "core/document_record.h"

namespace morvel {

// What the user sees of one document in the tree and the preview pane.
enum class DocState {
    NotRecovered,  // no recovery has run yet (or one is running)
    Recovered,     // the full document was rebuilt
    TextOnly,      // no full document, but text results exist
    Failed,        // a recovery ran and left nothing to show or save
};

// What the window remembers of a document's last recovery beyond the record: that it ran and
// failed (the store leaves a failed run's record as never recovered), that the user stopped
// it, and the errors shown while it ran.
struct RecoveryNote {
    bool ran = false;
    bool stopped = false;
    QString error;
};

struct StateView {
    DocState state = DocState::NotRecovered;
    QString title;   // "Recovered", "Text only", ...
    QString reason;  // one sentence: why this state
};

// The state of a record from its results, its recovery state and the window's note.
StateView documentStateOf(const DocumentRecord& record, const RecoveryNote& note);

// The results a record holds, each only when it exists.
bool hasFull(const DocumentRecord& record);
bool hasFiltered(const DocumentRecord& record);
bool hasRaw(const DocumentRecord& record);

// The .docx engine's account as HTML: the state and reason, each package's status, and a
// table of the parts kept, repaired, rebuilt or lost.
QString recoveryReportHtml(const DocumentRecord& record, const StateView& state);

}  // namespace morvel
