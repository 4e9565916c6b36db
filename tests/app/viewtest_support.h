// A program folder with the built pictures and bundle, an application
// object over it and a plain frame that holds the screens, for the tests of
// the base view, the menu and the dialogs.
#pragma once

#include "mainview.h"
#include "profile.h"
#include "test_support.h"
#include "viewframe.h"
#include "zorqapp.h"

#include <QApplication>
#include <QString>
#include <QWidget>

#include <string>

namespace zorqtest {

// A plain main window holding one screen at a time.
class TestFrame : public QWidget, public CViewFrame {
public:
    TestFrame() { SetViewFrame(this); }
    ~TestFrame() override
    {
        if (GetViewFrame() == this)
            SetViewFrame(nullptr);
    }
    QWidget* GetFrameWindow() override { return this; }
    CMainView* GetActiveView() const override { return active_; }
    void SetActiveView(CMainView* view) override
    {
        active_ = view;
        view->setParent(this);
        view->move(0, 0);
        resize(view->size());
        view->show();
    }
    // Opens `view` as the program opens a screen: its first update, then
    // shown in the frame with its deferred load done.
    void OpenScreen(CMainView* view)
    {
        view->OnInitialUpdate();
        SetActiveView(view);
        show();
        QApplication::sendPostedEvents(view);
        QApplication::processEvents();
    }
    void SetFrameTitle(const QString& title) override { setWindowTitle(title); }
    void EnableCloseCommands(bool enable) override { closeEnabled = enable; }
    void CenterFrame(const QSize&) override { ++centred; }

    bool closeEnabled = true;
    int centred = 0;

private:
    CMainView* active_ = nullptr;
};

// The built Res folder and English bundle copied into a fresh program folder.
class ViewTestEnv {
public:
    ViewTestEnv()
    {
        const std::string built = BuiltProgramDir() + "/";
        for (const char* f : {"backenu.BMP", "backenu.INI", "pbback.bmp", "smsback.bmp", "melback.bmp",
                              "databack.bmp", "orgback.bmp", "SPLASH.BMP", "hand.cur"})
            CopyFile(built + "Res/" + f, dir.path() + "Res/" + f);
        CopyFile(BuiltBundle(), dir.path() + "ZORQenu.rcc");
        SetIniProfileFile(dir.path());
        WriteIniProfileString("Pictures", "BmpName", "backenu");
        app.SetDataDirectories(dir.path() + "zorqmmi");
        app.LoadResourceLibrary("enu");
        app.ReadPictureSettings();
        CMainView::ResetFirstInitialUpdate();
    }
    std::string Res(const std::string& file) const { return dir.path() + "Res/" + file; }

    TempProgramDir dir;
    RecordingApp app;
};

}  // namespace zorqtest
