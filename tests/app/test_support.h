// Helpers shared by the application-core tests and the subsystems' tests.
#pragma once

#include "profile.h"
#include "zorqapp.h"

#include "shown_texts.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zorqtest {

// A fresh program folder in the temporary folder, with its data folders,
// removed at the end.
class TempProgramDir {
public:
    TempProgramDir()
    {
        dir_ = MakeTempFolder("zorq-app-");
        if (dir_.empty())
            std::abort();
        for (const char* sub : {"Res", "Database", "Work", "Files", "Melody"})
            std::system(("mkdir -p '" + dir_ + sub + "'").c_str());
    }
    ~TempProgramDir() { std::system(("rm -rf '" + dir_ + "'").c_str()); }
    const std::string& path() const { return dir_; }

private:
    std::string dir_;
};

// The program folder the build lays out (bundle, version file).
inline std::string BuiltProgramDir() { return ZORQ_TEST_PROGRAM_DIR; }

// The English bundle built for the tests.
inline std::string BuiltBundle() { return BuiltProgramDir() + "/ZORQenu.rcc"; }

inline bool CopyFile(const std::string& from, const std::string& to)
{
    std::ifstream in(from, std::ios::binary);
    if (!in)
        return false;
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
    return static_cast<bool>(out);
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// What start-up looks for in a program folder: the bundle, the version
// file, the conversion tables and the background pictures, all from the
// built program folder.
inline ::testing::AssertionResult LayOutProgramFolder(const std::string& d)
{
    std::vector<std::pair<std::string, std::string>> copies{
        {BuiltBundle(), d + "ZORQenu.rcc"}, {BuiltProgramDir() + "/$ZQ.VRS", d + "$ZQ.VRS"}};
    for (const char* t : {"GSMToWin.cvt", "WinToGSM.cvt"})
        copies.emplace_back(BuiltProgramDir() + "/Files/" + t, d + "Files/" + t);
    for (const char* b : {"backenu.BMP", "pbback.bmp", "smsback.bmp"})
        copies.emplace_back(BuiltProgramDir() + "/Res/" + b, d + "Res/" + b);
    for (const auto& [from, to] : copies)
        if (!CopyFile(from, to))
            return ::testing::AssertionFailure() << "cannot copy " << from;
    return ::testing::AssertionSuccess();
}

// An application object whose message boxes are recorded instead of shown.
class RecordingApp : public CZorqMMIApp {
public:
    struct Shown {
        bool system = false;  // the system box (else the program's dialog)
        QString text;
        unsigned type = 0;
        QWidget* owner = nullptr;
        QString caption;  // the system box's window title
    };
    std::vector<Shown> shown;
    int systemResult = 1;
    int dialogResult = 1;  // what the program's message dialog returns
    int beeps = 0;

protected:
    int SystemMessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned type) override
    {
        ExpectFinished(text);
        shown.push_back({true, text, type, owner, caption});
        return systemResult;
    }
    int RunMessageDialog(CDlgMessageBox& dlg) override;
    void MessageBeep() override { ++beeps; }
    // A message is read as it stands: no placeholder may be left in it.
    static void ExpectFinished(const QString& text)
    {
        EXPECT_FALSE(IsUnfinishedText(text)) << "message with unfinished text: " << text.toStdString();
    }
};

}  // namespace zorqtest
