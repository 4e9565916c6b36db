// What the interface-component tests share: the built English bundle as the
// resource module and a string provider whose message boxes are recorded.
#pragma once

#include "langbundle.h"
#include "uiservices.h"

#include <QCoreApplication>
#include <QDir>
#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace uitest {

class RecordingUi : public UiServices {
public:
    struct Box { QString text; unsigned type; };
    std::vector<Box> boxes;
    int answer = 1;                       // what every message box answers
    std::function<int(const QString&)> onBox;  // overrides `answer` when set

    RecordingUi();
    ~RecordingUi() override;

    QString LoadString(int id) const override { return bundle_.GetString(id); }
    QString FormatString(int id, const QStringList& inserts) const override
    {
        return FormatInserts(bundle_.GetString(id), inserts);
    }
    int DoMessageBox(const QString& text, unsigned type, unsigned) override
    {
        boxes.push_back({text, type});
        return onBox ? onBox(text) : answer;
    }
    int ShowMessageBox(int stringId, unsigned type, unsigned helpId) override
    {
        return DoMessageBox(LoadString(stringId), type, helpId);
    }
    CLanguageBundle* GetResources() const override { return const_cast<CLanguageBundle*>(&bundle_); }
    const std::string& GetAppDir() const override { return dir_; }
    const std::string& GetResDir() const override { return resDir_; }

    std::string dir_;
    std::string resDir_;

private:
    CLanguageBundle bundle_;
};

// Runs queued events until `done` holds or the time runs out.
bool WaitFor(const std::function<bool()>& done, int ms = 2000);

// A fresh folder under /tmp, removed at the end.
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
