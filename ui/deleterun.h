// The deletion run of the list panes: each selected item is asked for
// (Yes / No / Yes to all; Cancel skips that item only), the accepted ones
// are deleted one by one under a progress window, whose Cancel stops the run.
// A deletion that fails ends the run there: the caller says why.
#pragma once

#include <QPoint>
#include <QStringList>

#include <functional>

class QWidget;

// `deleteOne(i)` deletes item i of `names`; false when it could not, which
// ends the run (nothing after it is asked or deleted). The
// progress window opens at `progressAt` ((-1, -1): centred) over `owner`;
// without an owner no progress window is shown. Returns how many were deleted.
int RunConfirmedDeletion(QWidget* owner, const QPoint& progressAt, int confirmKind, const QStringList& names,
                         const std::function<bool(int)>& deleteOne);

// The pause after each deleted item, while the progress window shows it.
extern int g_nDeletePauseMs;
