#include "deleterun.h"

#include "confirm.h"
#include "dlgprogress.h"
#include "focuskeeper.h"
#include "strutil.h"
#include "uiservices.h"

#include <QApplication>
#include <QPointer>

#include <memory>

int g_nDeletePauseMs = 500;

namespace {
constexpr int kDeletingString = 31334;
}

int RunConfirmedDeletion(QWidget* owner, const QPoint& progressAt, int confirmKind, const QStringList& names,
                         const std::function<bool(int)>& deleteOne)
{
    // Where the run was started from (the list) gets the focus back.
    CFocusKeeper focus(owner);
    // The progress window comes with the first deletion: nothing of it
    // stands (nor waits to be painted) while only questions were asked.
    std::unique_ptr<CDlgProgressText> progress;
    auto showProgress = [&](int position) {
        if (!owner)
            return;
        if (!progress) {
            progress = std::make_unique<CDlgProgressText>(owner, 179);
            if (progressAt != QPoint(-1, -1))
                progress->SetPosition(progressAt.x(), progressAt.y());
            progress->SetTitleText(UiLoadString(kDeletingString));
            progress->SetRange(static_cast<int>(names.size()));
            progress->SetPos(position);
            progress->Create();
            return;
        }
        progress->SetPos(position);
        if (!progress->isVisible()) {
            progress->show();
            WaitUntilPainted(progress.get());
        }
    };
    bool all = false;
    int deleted = 0;
    for (int i = 0; i < names.size(); ++i) {
        if (progress && progress->IsCancelled())
            break;
        if (!all) {
            // The question stands alone; under Yes to all the window stays
            // up from one item to the next rather than blink at each.
            if (progress)
                progress->hide();
            // A question of its own each time: one made before the progress
            // window disabled the owner would be disabled along with it.
            CDlgConfirm confirm(owner);
            confirm.SetKind(confirmKind);
            if (names.size() == 1)
                confirm.DisableAllButton();
            confirm.SetItemName(names[i]);
            const int answer = confirm.DoModal();
            if (answer == IDYESTOALL)
                all = true;
            else if (answer != IDYES)
                continue;  // No, or Cancel: this item only
        }
        showProgress(deleted + 1);
        if (!deleteOne(i))
            break;
        if (progress)
            progress->Pause(g_nDeletePauseMs);
        else
            PumpMessagesFor(g_nDeletePauseMs, false);
        ++deleted;
    }
    if (progress)
        progress->Close();
    focus.Restore();
    return deleted;
}
