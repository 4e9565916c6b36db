// The application object's core: program and data folders, the language
// bundle and help file, message boxes, resource strings and the version
// strings. Start-up, the main loop and the windows build on it.
#pragma once

#include <QString>
#include <QStringList>

#include "uiservices.h"

#include <memory>
#include <string>

class CLanguageBundle;
class CDlgMessageBox;
class QWidget;

// Message-box type flags and results of the system.
enum {
    MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_ABORTRETRYIGNORE = 0x2, MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4, MB_RETRYCANCEL = 0x5, MB_TYPEMASK = 0xF,
    MB_ICONHAND = 0x10, MB_ICONQUESTION = 0x20, MB_ICONEXCLAMATION = 0x30,
    MB_ICONASTERISK = 0x40, MB_ICONMASK = 0xF0,
    MB_DEFBUTTON2 = 0x100, MB_DEFBUTTON3 = 0x200, MB_DEFMASK = 0xF00,
};

class CZorqMMIApp : public UiServices {
public:
    CZorqMMIApp();
    virtual ~CZorqMMIApp();
    CZorqMMIApp(const CZorqMMIApp&) = delete;
    CZorqMMIApp& operator=(const CZorqMMIApp&) = delete;

    // The one application object (the most recently constructed one).
    static CZorqMMIApp* Instance();

    // Folders. `programFile` is the full path of the program; empty means
    // the running executable.
    void SetDataDirectories(const std::string& programFile = std::string());
    const std::string& GetAppDir() const override { return m_strAppDir; }
    const std::string& GetResDir() const override { return m_strResDir; }
    const std::string& GetFolderPath() const { return m_strDatabaseDir; }
    const std::string& GetWorkDirectory() const { return m_strWorkDir; }
    const std::string& GetFilesDir() const { return m_strFilesDir; }
    const std::string& GetMelodyDir() const { return m_strMelodyDir; }

    // Language.
    bool GetLanguageCode();
    void SetHelpFile(const std::string& code);
    bool LoadResourceLibrary(const std::string& code);
    bool FreeResourceLibrary();
    std::string GetLanguage() const { return m_strLanguage; }
    const std::string& GetHelpFilePath() const { return m_strHelpFile; }
    CLanguageBundle* GetResources() const override { return m_hLangResources.get(); }
    // Run-time change: the new bundle is loaded first and replaces the old
    // one only when it loaded; false (old bundle kept) otherwise.
    bool ChangeLanguage(const std::string& code);

    // A string of the bundle; empty with a trace line when it has none.
    QString LoadString(int id) const override;
    // The string with %1.. replaced by the inserts.
    QString FormatString(int id, const QStringList& inserts) const override;

    // Every message box of the program ends here.
    int DoMessageBox(const QString& text, unsigned type, unsigned helpId) override;
    int ShowMessageBox(int stringId, unsigned type = MB_OK, unsigned helpId = 0) override;

    // Version file strings.
    bool RegisterVersionEditionNumber();
    const std::string& GetVersionNumber() const { return m_VersionNumber; }
    const std::string& GetEditionNumber() const { return m_EditionNumber; }
    const std::string& GetPellardATPVersion() const { return m_PellardATPVersion; }

    // The progress-running flag and the notices held back while a progress
    // window stands (shared with the interface components).
    void SetProgressRunning(bool on);
    bool GetProgressRunning() const;
    void SetSMSReceivedPending(bool on);
    bool GetSMSReceivedPending() const;
    void SetReportReceivedPending(bool on);
    bool GetReportReceivedPending() const;
    void SetSMSBoxShown(bool on);
    bool IsSMSBoxShown() const;
    void SetReportBoxShown(bool on);
    bool IsReportBoxShown() const;

    QWidget* m_pMainWnd = nullptr;    // the main frame, once it exists
    QWidget* m_pSplashWnd = nullptr;  // the start-up splash while shown

protected:
    // Overridable for headless runs: the system's message box, the program's
    // own message dialog and the beep.
    virtual int SystemMessageBox(QWidget* owner, const QString& text, const QString& caption,
                                 unsigned type);
    // Runs the message dialog; -1 when it could not be shown.
    virtual int RunMessageDialog(CDlgMessageBox& dlg);
    virtual void MessageBeep();

private:
    bool LoadBundle(const std::string& code, std::unique_ptr<CLanguageBundle>& into,
                    std::string& loadedCode) const;

    std::string m_strAppDir, m_strResDir, m_strDatabaseDir, m_strWorkDir, m_strFilesDir,
        m_strMelodyDir;
    std::string m_strLanguage;
    std::string m_strHelpFile;
    std::unique_ptr<CLanguageBundle> m_hLangResources;
    std::string m_VersionNumber, m_EditionNumber, m_PellardATPVersion;
};
