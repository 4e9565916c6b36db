// A document in a fresh program folder with a recording application object
// (message boxes recorded, the English bundle, a version file) and a test
// main window that records the numbered messages it receives.
#pragma once

#include "test_support.h"
#include "versiondoc.h"
#include "wndmsg.h"
#include "zorqmmidoc.h"

#include <QCoreApplication>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

namespace zorqtest {

struct Posted {
    unsigned message;
    uintptr_t wParam;
    intptr_t lParam;
    std::string text;  // the operator name, copied when the message is handled
};

class RecordingWindow : public QWidget {
public:
    std::vector<Posted> got;
    std::function<void(const Posted&)> on_message;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != CWndMsgEvent::EventType())
            return QWidget::event(e);
        auto* m = static_cast<CWndMsgEvent*>(e);
        Posted p{m->message(), m->wParam(), m->lParam(), {}};
        if (p.message == WM_MMI_OPERATOR_NAME)
            p.text = reinterpret_cast<const char*>(p.wParam);
        got.push_back(p);
        if (on_message)
            on_message(p);
        return true;
    }
};

// Writes "$ZQ.VRS" with the given AT-protocol version into the folder.
inline void WriteVersionFile(const std::string& folder, const std::string& atp)
{
    CVersionDoc v;
    v.m_VersionNumber = "1.0";
    v.m_EditionNumber = "Standard";
    v.m_PellardATPVersion = atp;
    ArchiveWriter w;
    v.Serialize(w);
    WriteFileAtomically(folder + "$ZQ.VRS", w.Bytes());
}

// Runs `on_box` when a message box is shown (what was posted by then can
// be delivered and looked at).
class DocApp : public RecordingApp {
public:
    std::function<void()> on_box;

protected:
    int SystemMessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned type) override
    {
        if (on_box)
            on_box();
        return RecordingApp::SystemMessageBox(owner, text, caption, type);
    }
    int RunMessageDialog(CDlgMessageBox& dlg) override
    {
        if (on_box)
            on_box();
        return RecordingApp::RunMessageDialog(dlg);
    }
};

// An application set up in a fresh program folder, language loaded.
class DocEnvironment {
public:
    explicit DocEnvironment(const std::string& atp = "PB=1.0,SMS=1.0,ST1=1.0")
    {
        SetIniProfileFile(dir.path());
        app.SetDataDirectories(dir.path() + "zorqmmi");
        CopyFile(BuiltBundle(), dir.path() + "ZORQenu.rcc");
        app.LoadResourceLibrary("enu");
        WriteVersionFile(dir.path(), atp);
        app.RegisterVersionEditionNumber();
    }
    ~DocEnvironment() { app.m_pMainWnd = nullptr; }
    // Delivers the posted messages to the window.
    void Deliver() { QCoreApplication::sendPostedEvents(); }
    // The texts of the message boxes shown so far.
    std::vector<std::string> Boxes() const
    {
        std::vector<std::string> out;
        for (const auto& s : app.shown)
            out.push_back(s.text.toStdString());
        return out;
    }
    TempProgramDir dir;
    DocApp app;
    RecordingWindow window;
};

}  // namespace zorqtest
