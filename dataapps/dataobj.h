// A data application: a PC program that uses the phone as a modem, kept as
// one ".DFA" text file (KEY=value lines) in the program's files folder, and
// the list of them that the data-applications screen shows.
#pragma once

#include "objectlist.h"

#include <QIcon>
#include <QString>
#include <QStringList>

// The program's own executable name: an entry naming it is never listed.
inline constexpr const char* kZorqExeName = "zorqmmi";

class CDataObj : public CObjectListItem {
public:
    CDataObj();
    ~CDataObj() override;

    bool Load(QString path) override;
    bool Save(QString path) override;
    int GetImage() const override { return m_nType; }
    bool CanTrash() const override { return true; }
    bool CanModify() const override { return true; }

    void Reset();
    void CopyFrom(const CDataObj& other);

    // The program path, stored bare (double quotes removed).
    void SetFullExeName(const QString& path);
    const QString& GetFullExeName() const { return m_strFullExeName; }
    // The program path as it is started (no short form on this system).
    QString GetShortExeName() const { return m_strFullExeName; }

    void SetCommandLine(const QString& text) { m_strCommandLine = text; }
    const QString& GetCommandLine() const { return m_strCommandLine; }
    // The stored arguments as an argument vector (blanks split, double
    // quotes group), never a shell string.
    QStringList GetArguments() const;
    void SetDisplayHelp(int on) { m_nDisplayHelp = on; }
    int GetDisplayHelp() const { return m_nDisplayHelp; }
    void SetHelpCommand(const QString& text) { m_strHelpCmd = text; }
    const QString& GetHelpCommand() const { return m_strHelpCmd; }
    void SetType(int type) { m_nType = Clamp(type, 1); }
    int GetType() const { return m_nType; }
    void SetAppliType(int kind) { m_nAppliType = Clamp(kind, 3); }
    int GetAppliType() const { return m_nAppliType; }
    void SetModemFileState(int state) { m_nModemFileState = Clamp(state, 2); }
    int GetModemFileState() const { return m_nModemFileState; }
    void SetModemFileName(const QString& name) { m_strModemFileName = name; }
    const QString& GetModemFileName() const { return m_strModemFileName; }
    void SetModemCopyPath(const QString& path) { m_strModemCopyPath = path; }
    const QString& GetModemCopyPath() const { return m_strModemCopyPath; }
    const QIcon& GetIcon() const { return m_icon; }

    // True when the program is known and exists: a bare name is looked up
    // in the search path (and the entry written again with the full path).
    bool LocateProgram();
    // A document, no data application running and the program exists.
    bool IsProgramAvailable() const;

    static int Clamp(int value, int maximum) { return value < 0 ? 0 : value > maximum ? maximum : value; }

private:
    QString m_strFullExeName;
    QString m_strCommandLine;
    int m_nDisplayHelp = 0;
    QString m_strHelpCmd;
    int m_nType = 1;
    int m_nAppliType = 0;
    int m_nModemFileState = 0;
    QString m_strModemFileName;
    QString m_strModemCopyPath;
    // Programs on this system carry no icon of their own: always null, so
    // the list shows its default image.
    QIcon m_icon;
};

class CDataObjList : public CQXObjectList {
public:
    explicit CDataObjList(int appliType = 0) : m_nAppliType(appliType) {}

    // Lists the entry of folder/fileName when it loads, does not name this
    // program and is of the list's kind (also when its program is missing).
    bool LoadFile(QString folder, QString fileName) override;

    CDataObj* FindDataObj(const QString& name) const;
    // The entry whose program is `program` (letter case ignored), or null.
    CDataObj* FindByProgram(const QString& program) const;
    // Takes an item out of the list without deleting it or its file.
    bool Detach(CObjectListItem* item);
    int GetAppliType() const { return m_nAppliType; }

private:
    int m_nAppliType = 0;
};

// Splits the program edit's text into the program (quoted when it holds
// blanks) and the rest, its arguments as typed (trimmed).
void SplitProgramText(const QString& text, QString& program, QString& arguments);
// The program as the edit shows it: quoted when it holds blanks.
QString QuoteProgram(const QString& program);
