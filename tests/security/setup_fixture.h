// The set-up and security screen of the tests: the security screen in a
// test frame over a document, against the phone simulator.
#pragma once

#include "engine_fixture.h"
#include "test_support.h"
#include "viewtest_support.h"

#include "entrylistctrl.h"
#include "modal_driver.h"
#include "securitylistwnd.h"
#include "setup.h"
#include "zorqmmidoc.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace setup_test {

using engine_test::EngineTest;

class SetUpScreen : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        env = std::make_unique<zorqtest::ViewTestEnv>();
        SetIniProfileFile(host.folder);  // the engine's profile, with the port
        document = std::make_unique<CZorqMMIDoc>();
        document->GetMSParam().clock_available = 1;
        document->GetMSParam().alarm_available = 1;
    }
    void TearDown() override
    {
        delete screen;  // when still there
        document.reset();
        env.reset();
        EngineTest::TearDown();
    }
    // The security screen in the frame, first update and deferred load done.
    CSetUp_SecurCode* Open()
    {
        auto* s = new CSetUp_SecurCode(&frame);
        screen = s;
        frame.OpenScreen(s);
        return s;
    }
    QString ClockText() { return qobject_cast<QLabel*>(screen->GetDlgItem(1037))->text(); }
    // Runs `inside` on the modal dialog the command opens, then ends it.
    template <class Dialog, class F>
    void WithDialog(int command, F inside)
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* dlg = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            seen = true;
            inside(*dlg);
            if (dlg->isVisible())
                dlg->OnCancel();
        });
        screen->OnCommand(command);
        EXPECT_TRUE(seen);
    }
    std::unique_ptr<zorqtest::ViewTestEnv> env;
    std::unique_ptr<CZorqMMIDoc> document;
    zorqtest::TestFrame frame;
    QPointer<CMainView> screen;
};

// The security screen's panel as a user meets it: the PIN row selected, its
// buttons, and the messages the screen showed.
class SecurityScreen : public SetUpScreen {
protected:
    CSecurityListWnd* OpenOnThePinRow()
    {
        CSecurityListWnd* panel = Open()->GetSecurityWnd();
        CEntryListCtrl* list = panel->GetListCtrl();
        const int row = panel->GetDocument() ? panel->GetDocument()->IndexOfName(Text(31833)) : -1;
        EXPECT_GE(row, 0);
        list->DeselectAll();
        list->SelectRow(row);
        panel->UpdateButtons();
        return panel;
    }
    QString Text(int id) const { return env->app.LoadString(id); }
    QStringList Shown() const
    {
        QStringList out;
        for (const auto& s : env->app.shown)
            out << s.text;
        return out;
    }
    zorqtest::ModalDriver driver;
    using Driver = zorqtest::ModalDriver;
};

}  // namespace setup_test
