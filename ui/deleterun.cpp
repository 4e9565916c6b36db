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
constexpr int kGoneString = 31479;
constexpr int kFailedString = 31892;
constexpr int kNotDeletedBecauseString = 31894;
constexpr int kDatabaseUnusableString = 31456;
constexpr int kPhoneRefusedString = 31895;
constexpr int kPhoneSilentString = 31920;
}  // namespace

QString DeleteOutcomeText(DeleteOutcome outcome, const QString& name, const QString& database)
{
    switch (outcome) {
    case DeleteOutcome::Deleted: return QString();
    case DeleteOutcome::Gone: return UiFormatString(kGoneString, {name});
    case DeleteOutcome::Failed: return UiFormatString(kFailedString, {name});
    case DeleteOutcome::DatabaseFailed:
        // The cause in the words the program uses wherever that file fails.
        return UiFormatString(kNotDeletedBecauseString,
                              {name, UiFormatString(kDatabaseUnusableString, {database})});
    case DeleteOutcome::PhoneRefused: return UiFormatString(kPhoneRefusedString, {name});
    case DeleteOutcome::PhoneSilent:
    case DeleteOutcome::PhoneSilentGone: return UiFormatString(kPhoneSilentString, {name});
    }
    return QString();
}

int RunConfirmedDeletion(QWidget* owner, const QPoint& progressAt, int confirmKind, const QStringList& names,
                         const std::function<DeleteOutcome(int)>& deleteOne, const QString& database,
                         const std::function<void()>& settle)
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
    QString why;  // the run ended early at an item that could not be deleted
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
        const DeleteOutcome outcome = deleteOne(i);
        if (outcome != DeleteOutcome::Deleted) {
            why = DeleteOutcomeText(outcome, names[i], database);
            break;
        }
        // The whole pause after the item's own work, whatever that took:
        // the item stands in the progress window, and in the list as gone,
        // long enough to be seen.
        if (progress)
            progress->Pause(g_nDeletePauseMs);
        else
            PumpMessagesFor(g_nDeletePauseMs, false);
        ++deleted;
    }
    if (progress)
        progress->Close();
    // Told after the progress window has gone, so that nothing stands over
    // the message; the items after it were neither asked about nor deleted.
    if (!why.isEmpty()) {
        if (settle)
            settle();
        UiMessageBox(why);
    }
    focus.Restore();
    return deleted;
}
