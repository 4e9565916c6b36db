// The application object of the program: the core's start-up and loop, with
// the pieces that live above the core (document, screens, security dialogs,
// default databases) filled in.
#pragma once

#include "zorqapp.h"

#include <QStringList>

#include <string>

class CZorqMMIProgram : public CZorqMMIApp {
protected:
    bool CreatePBDatabaseFile(const std::string& path) override;
    bool CreateSMSDatabaseFile(const std::string& path) override;
    int RunSecurCodeDialog(QWidget* parent, int kind, int newCodeForm, int value) override;
};

// Enters every screen the program links into the frame's screen registry.
void RegisterProgramScreens();

// Runs the program: start-up, loop, shut-down. The exit code.
int RunZorqMMI(int argc, char** argv);
// The same once the QApplication exists. `programFile` places the program
// folder (empty: the running executable's).
int RunZorqMMIProgram(const QStringList& arguments, const std::string& programFile = std::string());
