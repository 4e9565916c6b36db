#include "deleterun.h"

#include "confirm.h"
#include "dlgprogress.h"
#include "uiservices.h"

#include <QCoreApplication>
#include <QThread>

#include <memory>

int g_nDeletePauseMs = 500;

namespace {
constexpr int kDeletingString = 31334;
}

int RunConfirmedDeletion(QWidget* owner, const QPoint& progressAt, int confirmKind, const QStringList& names,
                         const std::function<bool(int)>& deleteOne)
{
    std::unique_ptr<CDlgProgressText> progress;
    if (owner) {
        progress = std::make_unique<CDlgProgressText>(owner, 179);
        if (progressAt != QPoint(-1, -1))
            progress->SetPosition(progressAt.x(), progressAt.y());
        progress->SetTitleText(UiLoadString(kDeletingString));
        progress->Create();
        progress->SetRange(static_cast<int>(names.size()));
        progress->hide();
    }
    CDlgConfirm confirm(owner);
    confirm.SetKind(confirmKind);
    if (names.size() == 1)
        confirm.DisableAllButton();
    bool all = false;
    int deleted = 0;
    for (int i = 0; i < names.size(); ++i) {
        if (progress && progress->IsCancelled())
            break;
        if (!all) {
            confirm.SetItemName(names[i]);
            const int answer = confirm.DoModal();
            if (answer == IDYESTOALL)
                all = true;
            else if (answer != IDYES)
                continue;  // No, or Cancel: this item only
        }
        if (progress) {
            progress->show();
            progress->SetPos(deleted + 1);
            QCoreApplication::processEvents();
        }
        const bool ok = deleteOne(i);
        if (ok && g_nDeletePauseMs > 0)
            QThread::msleep(static_cast<unsigned long>(g_nDeletePauseMs));
        if (progress)
            progress->hide();
        if (ok)
            ++deleted;
    }
    if (progress)
        progress->Close();
    return deleted;
}
