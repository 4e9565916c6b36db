// The deletion run of the list panes: each selected item is asked for
// (Yes / No / Yes to all; Cancel skips that item only), the accepted ones
// are deleted one by one under a progress window, whose Cancel stops the run.
// A deletion that fails ends the run there, and the user is told why.
#pragma once

#include <QPoint>
#include <QStringList>

#include <functional>

class QWidget;

// What one deletion came to. Anything but Deleted ends the run (nothing
// after it is asked or deleted) with a message naming the item and why.
enum class DeleteOutcome {
    Deleted,
    Gone,          // the item is no longer there (string 31479)
    Failed,        // the deletion failed, for no cause known (31892)
    DatabaseFailed,  // the database would not take it: held by another
                     // program, or damaged (31894 with 31456)
    PhoneRefused,  // the phone did not delete it (31895)
    PhoneSilent,   // the phone did not answer: it may have deleted it, and
                   // could not yet be asked (31920); the item stays listed
    PhoneSilentGone,  // the same, but the phone, answering again, no longer
                      // has it: it goes from the list as well (31920)
};

// The message that tells why a run ended at `name`; empty for Deleted.
// `database` is the file the item was deleted from, named when the cause
// lies there.
QString DeleteOutcomeText(DeleteOutcome outcome, const QString& name, const QString& database = QString());

// `deleteOne(i)` deletes item i of `names` from `database`. The progress
// window opens at `progressAt` ((-1, -1): centred) over `owner`; without an
// owner no progress window is shown. When a deletion fails, `settle` (when
// given) runs before the user is told, so that the list behind the message
// shows the items as they are. Returns how many were deleted.
int RunConfirmedDeletion(QWidget* owner, const QPoint& progressAt, int confirmKind, const QStringList& names,
                         const std::function<DeleteOutcome(int)>& deleteOne, const QString& database = QString(),
                         const std::function<void()>& settle = {});

// The pause after each deleted item, while the progress window shows it.
extern int g_nDeletePauseMs;
