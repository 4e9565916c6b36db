// What the clock tests share: the engine on the phone simulator, a program
// folder with the English bundle and an application that records the
// message boxes instead of showing them.
#pragma once

#include "engine_fixture.h"
#include "test_support.h"

#include "dialog.h"

#include <QString>

#include <string>
#include <vector>

namespace clock_test {

class ClockTest : public engine_test::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        app.SetDataDirectories(dir.path() + "zorqmmi");
        InstallBundle("enu");
    }
    // The built bundle installed under a language code.
    void InstallBundle(const std::string& code)
    {
        zorqtest::CopyFile(zorqtest::BuiltBundle(), dir.path() + "ZORQ" + code + ".rcc");
    }
    void Language(const char* code) { ASSERT_TRUE(app.LoadResourceLibrary(code)); }
    // Opens a dialog as its modal run would, without the modal loop.
    static void OpenDialog(CDialog& dlg)
    {
        ASSERT_TRUE(dlg.CreateFromTemplate());
        dlg.OnInitDialog();
        dlg.show();
    }
    template <class Control>
    static Control* Item(CDialog& dlg, int id)
    {
        return qobject_cast<Control*>(dlg.GetDlgItem(id));
    }
    // The texts of the message boxes shown so far, in order.
    std::vector<std::string> Boxes() const
    {
        std::vector<std::string> out;
        for (const auto& s : app.shown)
            out.push_back(s.text.toStdString());
        return out;
    }
    std::string Text(int id) const { return app.LoadString(id).toStdString(); }

    zorqtest::TempProgramDir dir;
    zorqtest::RecordingApp app;
};

// A dialog test: the English bundle in force.
class ClockDialogTest : public ClockTest {
protected:
    void SetUp() override
    {
        ClockTest::SetUp();
        Language("enu");
    }
};

}  // namespace clock_test
