// A provider of strings and message boxes for the interface components'
// tests: strings from the built English bundle, message boxes recorded.
#pragma once

#include "langbundle.h"
#include "shown_texts.h"
#include "uiservices.h"

#include <gtest/gtest.h>

#include <QString>

#include <string>
#include <vector>

namespace zorqtest {

class RecordingServices : public UiServices {
public:
    struct Box {
        QString text;
        unsigned type;
    };

    RecordingServices()
    {
        bundle_.Load(QStringLiteral(ZORQ_TEST_PROGRAM_DIR "/ZORQenu.rcc"));
        SetResourceModule(&bundle_);
        SetUiServices(this);
    }
    ~RecordingServices() override
    {
        SetUiServices(nullptr);
        SetResourceModule(nullptr);
    }

    QString LoadString(int id) const override { return bundle_.GetString(id); }
    QString FormatString(int id, const QStringList& inserts) const override
    {
        return FormatInserts(LoadString(id), inserts);
    }
    int DoMessageBox(const QString& text, unsigned type, unsigned) override
    {
        // The application puts the product name in; anything else left
        // unfilled would reach the user.
        EXPECT_FALSE(IsUnfinishedText(QString(text).replace(QLatin1String("[APP_NAME]"), QLatin1String("P"))))
            << "message with unfinished text: " << text.toStdString();
        boxes.push_back({text, type});
        return answer;
    }
    int ShowMessageBox(int stringId, unsigned type, unsigned helpId) override
    {
        return DoMessageBox(LoadString(stringId), type, helpId);
    }
    CLanguageBundle* GetResources() const override { return const_cast<CLanguageBundle*>(&bundle_); }
    const std::string& GetAppDir() const override { return dir_; }
    const std::string& GetResDir() const override { return dir_; }

    std::vector<Box> boxes;
    int answer = 1;

private:
    CLanguageBundle bundle_;
    std::string dir_ = ZORQ_TEST_PROGRAM_DIR "/";
};

}  // namespace zorqtest
