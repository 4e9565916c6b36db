// Helpers of the shared-component tests beyond the recording provider:
// message boxes answered by a callback, waiting on the event loop, and
// temporary folders.
#pragma once

#include "ui_test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QString>

#include <functional>

namespace uitest {

class RecordingUi : public zorqtest::RecordingServices {
public:
    std::function<int(const QString&)> onBox;  // overrides `answer` when set

    int DoMessageBox(const QString& text, unsigned type, unsigned helpId) override
    {
        const int a = RecordingServices::DoMessageBox(text, type, helpId);
        return onBox ? onBox(text) : a;
    }
};

// Runs queued events until `done` holds or the time runs out.
bool WaitFor(const std::function<bool()>& done, int ms = 2000);

// Runs `action` on the next modal dialog once it is shown (the caller then
// starts it with DoModal or exec).
void OnNextModal(const std::function<void(QWidget*)>& action);
// Clicks the button "id<n>" of a dialog.
bool ClickId(QWidget* dialog, int id);

// A fresh folder in the temporary folder, removed at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    QString path() const { return path_; }  // ends in '/'
    QString file(const QString& name) const { return path_ + name; }

private:
    QString path_;
};

}  // namespace uitest
