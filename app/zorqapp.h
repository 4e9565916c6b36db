// The application object's core: program and data folders, the language
// bundle and help file, message boxes, resource strings and the version
// strings. Start-up, the main loop and the windows build on it.
#pragma once

#include <QString>
#include <QStringList>

#include "uiservices.h"

#include <functional>
#include <memory>
#include <set>
#include <string>

class CLanguageBundle;
class CDlgMessageBox;
class QWidget;
class QObject;

class CMainFrame;
class CAppLoop;
class CAppDocWindows;
class CZorqMMIDoc;
class CSingleInstance;
class CQuitSignals;

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
    const std::string& GetFolderPath() const override { return m_strDatabaseDir; }
    const std::string& GetWorkDirectory() const override { return m_strWorkDir; }
    const std::string& GetFilesDir() const override { return m_strFilesDir; }
    const std::string& GetMelodyDir() const { return m_strMelodyDir; }

    // Language.
    bool GetLanguageCode();
    void SetHelpFile(const std::string& code);
    bool LoadResourceLibrary(const std::string& code);
    bool FreeResourceLibrary();
    std::string GetLanguage() const override { return m_strLanguage; }
    const std::string& GetHelpFilePath() const { return m_strHelpFile; }
    CLanguageBundle* GetResources() const override { return m_hLangResources.get(); }
    // Run-time change: the new bundle is loaded first and replaces the old
    // one only when it loaded; false (old bundle kept) otherwise.
    bool ChangeLanguage(const std::string& code);

    // The background picture of the menu screen: "back"+code+".BMP" when the
    // Res folder has it, else the English one, unless the profile's
    // Pictures/BmpName names another picture that exists. (The picture's
    // settings file, its regions, is read by ReadPictureSettings.)
    void LoadBackgroundPictures(const std::string& code);
    const std::string& GetPictureIniPath() const { return m_strPictureIni; }

    // A string of the bundle; empty with a trace line when it has none.
    QString LoadString(int id) const override;
    QString DatePattern() const override;
    QString DateTimeText(const QDateTime& when) const override;
    // The string with %1.. replaced by the inserts.
    QString FormatString(int id, const QStringList& inserts) const override;

    // Every message box of the program ends here.
    int DoMessageBox(const QString& text, unsigned type, unsigned helpId) override;
    int ShowMessageBox(int stringId, unsigned type = MB_OK, unsigned helpId = 0) override;

    // Database files named in the profile (section "Databases"). A name
    // without a leading '/' lies in the Database folder; a file of that
    // folder is stored by its name alone, so the program folder may move,
    // any other file by its full path. Profiles holding either form are read.
    // A full path that leads nowhere and ends in the Database or Work folder
    // and a file there is taken as that file of this program's folder, when
    // it exists, and the user is told so (string 31893) once a run for each
    // such path; any other path is kept.
    static std::string ResolveDatabaseName(const std::string& name);
    static std::string DatabaseNameToStore(const std::string& path);
    // The file of `key`, resolved; `defaultName` when the key is missing or
    // empty.
    static std::string GetDatabaseSetting(const char* key, const char* defaultName);
    static void WriteDatabaseSetting(const char* key, const std::string& path);

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

    // ---- Start-up, loop and shut-down -------------------------------------------
    // Brings the program up (the QApplication must exist). False: start-up
    // stopped; the message, if any, was shown and nothing is left running.
    // `programFile` as for SetDataDirectories.
    bool InitInstance(const QStringList& arguments, const std::string& programFile = std::string());
    // The event loop with the idle rules; returns when the program was shut
    // down, after the windows and the document are gone. The exit code.
    int Run();
    // One idle step (first detection on the first call); true.
    bool OnIdle(long count);
    // Asks the loop for a wake soon, from any thread: idle work noted where
    // no wake of the loop follows by itself.
    void WakeLoop();
    // Work that must not run inside a request nor inside a dialog's own
    // loop (a screen's first load): it runs once the phone is free and no
    // dialog stands, before the input held meanwhile. False (nothing kept)
    // without the program's loop.
    bool OweUntilFree(QObject* receiver, std::function<void()> work);
    // The one way out: document databases closed, engine and tick stopped,
    // port closed, loop told to end. Safe to call more than once. Called
    // while a request waits, it happens once that request has returned.
    void ShutDown();
    // Leaves the loop's state and the port as start-up found them. 1.
    int ExitInstance();
    bool IsShuttingDown() const { return m_bShutDown; }
    // A shut-down was asked for inside a request's wait or a pause and
    // follows once that has returned; no new request starts meanwhile.
    bool ShutDownPending() const { return m_bShutDownPending; }

    // A second start handed over to the running one (start-up returned false).
    bool HandedOver() const { return m_bHandedOver; }
    // A signal asked the program to end (it ends as Quit ends it, with 0,
    // even when the start was under way).
    bool QuitAsked() const { return m_bQuitAsked; }

    bool FindRunningInstance();
    // The name under which the running instance listens (per user).
    void SetInstanceName(const QString& name) { m_strInstanceName = name; }
    bool CheckInstallation();
    bool CheckDirectory(const std::string& path, bool report);
    bool CheckFile(const std::string& path);
    bool MakeDirectory(const std::string& path);
    bool ReadSettings();
    bool ReadPictureSettings();
    bool CreateDefaultDatabases();

    // Idle work runs only while this holds: the user-interface task runs,
    // no request waits (nor a worker's), and no idle step is under way.
    bool IdleAllowed() const;
    // Idle work is left that the next idle call would do.
    bool IdleWorkPending() const;
    // Input the user gave while the program could not take it (a request,
    // an operation's last moment) still waits to be delivered. (Work owed to
    // a screen is not counted: it waits for any dialog to close.)
    bool InputHeld() const;
    // A request of the message-sending worker counts as a waiting request.
    static void EnterWorkerRequest();
    static void LeaveWorkerRequest();
    // While a worker thread runs an engine request it alone reads the port;
    // the loop of this thread then only keeps the tick going.
    static void SetEngineOnWorker(bool on);
    static bool IsEngineOnWorker();
    // True while a request waits (the input gate holds back screen input).
    static bool RequestWaiting();
    // This thread is inside an operation that goes on when it returns: a
    // request's wait, or a pause with the events running.
    static bool OperationUnderWay();

    // The code prompt of the engine's set-up (kinds 0, 2, 4).
    int AskSecurityCode(int kind) { return WaitSecurityCode(kind, -1); }
    // Code dialog (or, without code entry, the phone message); IDOK/IDCANCEL.
    int WaitSecurityCode(int kind, int value);
    // The pause after an accepted SIM PIN, phone code or PUK (ms).
    void SetCodePause(int ms) { m_nCodePauseMs = ms; }

    CMainFrame* GetMainFrame() const { return m_pMainFrame; }
    // The one document (null before start-up created it).
    CZorqMMIDoc* GetDocument() const { return m_pDoc.get(); }
    void SetMainFrame(CMainFrame* frame);
    const std::string& GetPictureIni() const { return m_strPictureIni; }
    const std::string& GetBmpName() const { return m_strBmpName; }
    bool SplashWanted() const { return m_bShowSplash; }
    // The phone simulator started when no phone answers (the path given
    // with --simulator); empty for none.
    void SetSimulatorProgram(const QString& path) { m_strSimulator = path; }
    // Whether the bundled simulator answers as the phone in this run.
    bool RunsOnSimulator() const { return m_pSimulator != nullptr; }
    // `text` with the note that the phone is simulated (string 31972) when
    // the bundled simulator answers; the window title and the tray tip say
    // it alike.
    QString MarkSimulated(const QString& text) const;
    static constexpr int kSimulatedNote = 31972;
    // The names of the program's data folders below its own folder.
    static constexpr const char* kDatabaseFolderName = "Database";
    static constexpr const char* kWorkFolderName = "Work";
    // "The database %1 was not found..." with the file used in its place.
    static constexpr int kDatabaseSubstituted = 31893;
    bool FirstIdleDone() const { return m_bFirstIdleDone; }
    long IdleCount() const { return m_nIdleCount; }

    // ---- The progress flags --------------------------------------------------------

    QWidget* m_pMainWnd = nullptr;    // the main frame, once it exists
    QWidget* m_pSplashWnd = nullptr;  // the start-up splash while shown

protected:
    // ---- What the program around the core provides --------------------------------
    // The screens, the document and the security dialogs live above the core;
    // the program (and tests) fill these in.
    // Creates the document, the main frame and the first screen, hidden.
    virtual bool CreateMainWindow();
    // The first detection of the phone; 0 ends the program.
    virtual int FirstDetection();
    // Idle work of the document (a refresh after a link change, background
    // phonebook reading).
    virtual void IdleDocumentWork();
    // Saves the document's lists and closes its databases at shut-down.
    virtual void CloseDocument();
    // Destroys the windows and the document after the loop has returned.
    virtual void DestroyMainWindow();
    // The code dialog in phone mode: IDOK when the phone took the code.
    virtual int RunSecurCodeDialog(QWidget* parent, int kind, int newCodeForm, int value);
    virtual bool IsCodeEntrySupported();
    virtual bool CreatePBDatabaseFile(const std::string& path);
    virtual bool CreateSMSDatabaseFile(const std::string& path);
    // Shows the main window once start-up is done (the splash's end when
    // there is one).
    virtual void ShowMainWindow();

    // Overridable for headless runs: the system's message box, the program's
    // own message dialog and the beep.
    virtual int SystemMessageBox(QWidget* owner, const QString& text, const QString& caption,
                                 unsigned type);
    // Runs the message dialog; -1 when it could not be shown.
    virtual int RunMessageDialog(CDlgMessageBox& dlg);
    virtual void MessageBeep();

private:
    bool InitInstanceSteps(const QStringList& arguments);
    void ShutDownNow();
    bool LoadBundle(const std::string& code, std::unique_ptr<CLanguageBundle>& into,
                    std::string& loadedCode) const;
    // Shows `text` in an OK box from the loop once it is free (at once when
    // the program runs without windows).
    void TellFromLoop(const QString& text, int delayMs = 0);
    // The file of `path` in this program's Database or Work folder when the
    // last two parts of `path` are one of those folders' names and a file
    // name; empty otherwise.
    std::string DataFolderFileOf(const std::string& path) const;

    std::string m_strAppDir, m_strResDir, m_strDatabaseDir, m_strWorkDir, m_strFilesDir,
        m_strMelodyDir;
    std::string m_strLanguage;
    std::string m_strHelpFile;
    std::unique_ptr<CLanguageBundle> m_hLangResources;
    std::string m_VersionNumber, m_EditionNumber, m_PellardATPVersion;
    std::string m_strBmpName, m_strPictureIni;
    CMainFrame* m_pMainFrame = nullptr;
    std::unique_ptr<CAppDocWindows> m_pDocWindows;
    std::unique_ptr<CZorqMMIDoc> m_pDoc;
    std::unique_ptr<CAppLoop> m_pLoop;
    std::unique_ptr<CSingleInstance> m_pInstance;
    std::unique_ptr<CQuitSignals> m_pQuitSignals;  // SIGTERM, SIGINT, SIGHUP end the run as Quit does
    // Stored database paths whose substitute the user was told of this run.
    std::set<std::string> m_toldSubstitutions;
    std::unique_ptr<QObject> m_pNoticeContext;  // owns the boxes still to come
    QString m_strInstanceName;
    QString m_strSimulator;
    class QProcess* m_pSimulator = nullptr;
    bool StartSimulator();
    void StopSimulator();
    // What a signal asking the program to end does (quitsignals.h).
    void OnQuitSignal();
    bool m_bShowSplash = true;
    bool m_bStarting = false;   // InitInstance has not returned
    bool m_bQuitAsked = false;  // a signal asked the program to end
    bool m_bLooping = false;    // Run's loop runs
    bool m_bHandedOver = false;
    bool m_bShutDown = false;
    bool m_bShutDownPending = false;
    bool m_bEngineStarted = false;
    bool m_bFirstIdleDone = false;
    bool m_bInIdle = false;
    long m_nIdleCount = 0;
    int m_nCodePauseMs = 3500;
    friend class CAppLoop;
};
