// The program's file dialog: the toolkit's open/save dialog with a caption
// of the language bundle on its accept button; the save form shows only the
// list, so the user picks a folder from it (the hidden name field keeps the
// name the caller gave, and a file clicked in the list does not replace it). Also the minimum-length
// check of code fields, and the choice of a PC database file.
#pragma once

#include "dialog.h"

#include <QFileDialog>

#include <functional>

// Option flags, as the callers pass them.
enum : unsigned {
    OFN_HIDEREADONLY = 0x4,
    OFN_OVERWRITEPROMPT = 0x2,
    OFN_ALLOWMULTISELECT = 0x200,
    OFN_PATHMUSTEXIST = 0x800,
    OFN_FILEMUSTEXIST = 0x1000,
};

class CQXFileDlg : public QFileDialog {
    Q_OBJECT
public:
    // `filter`: "|"-separated pairs of description and patterns, ending in
    // "||". `captionId` is the accept button's string; -1 keeps the
    // toolkit's (a save dialog always shows string 31688).
    CQXFileDlg(bool open, const QString& defaultExt, const QString& fileName, unsigned flags,
               const QString& filter, QWidget* parent, int captionId);

    // Converts a "|"-separated filter into the toolkit's name filters.
    static QStringList NameFilters(const QString& filter);

    int DoModal();  // IDOK or IDCANCEL
    QString GetPathName() const;
    bool IsOpen() const { return open_; }
    QString AcceptCaption() const;

private:
    bool open_;
    unsigned flags_;
};

// Fails the exchange (the dialog stays open) when, while saving, the text
// has fewer than `minimum` characters: string 31807 with the minimum, and
// the last exchanged edit control gets the focus with its text selected.
void DDV_MinChars(CDataExchange* pDX, const QString& text, int minimum);

// Asks for a PC database (".mdb") in `folder`. OpenDatabaseDlg takes any
// name and asks before an existing file is replaced; ChooseDatabaseDlg only
// takes an existing file. Returns IDOK with the path, else IDCANCEL (the
// path then stays as it was). `refresh` is repainted afterwards.
int UiOpenDatabaseDlg(int titleId, QString& path, QWidget* refresh, const QString& folder);
int UiChooseDatabaseDlg(int titleId, QString& path, QWidget* refresh, const QString& folder,
                        int captionId = -1);
// The program's Database folder (below the program folder).
QString UiDatabaseFolder();

// Tests answer the file dialogs instead of a user: given the dialog, return
// IDOK (after selecting a file in it) or IDCANCEL. Null restores the user.
void SetFileDlgRunner(std::function<int(CQXFileDlg&)> runner);
