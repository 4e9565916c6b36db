// Start-up of the application: single instance, folders, profile, trace,
// language, installation check, settings, default databases, version file,
// engine, and the hidden main window.
#include "zorqapp.h"

#include "apploop.h"
#include "dlgprogress.h"
#include "docwindows.h"
#include "mainview.h"
#include "portfailures.h"
#include "splashwnd.h"
#include "viewframe.h"
#include "zorqmenu.h"
#include "zorqmmidoc.h"
#include "debugtrace.h"
#include "mainframe.h"
#include "quitsignals.h"
#include "singleinstance.h"
#include "strutil.h"
#include "utilities.h"

#include "ati.h"
#include "engine_host.h"
#include "krn.h"
#include "mmi_doc.h"
#include "mmi_melody.h"
#include "mmi_sms.h"
#include "mtr_pb.h"
#include "mtr_setup.h"
#include "at_defs.h"
#include "profile.h"
#include "serial.h"
#include "sms_types.h"

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>

#include <cstdio>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kUnableToLoadResources = "Unable to load resources, install again the product";
// The program's icon among its pictures (drawn from resources/pictures/appicon.svg).
constexpr int kProgramIconId = 128;

struct EnumTrace {
    const char* name;
    int value;
};

void TraceStorageEnumerations()
{
    static const EnumTrace pb[] = {
        {"PB_SRC_EEPROM", PB_SRC_EEPROM}, {"PB_SRC_SIM", PB_SRC_SIM}, {"PB_SRC_SIM_FD", PB_SRC_SIM_FD},
        {"PB_SRC_PC", PB_SRC_PC},         {"PB_DST_EEPROM", PB_DST_EEPROM}, {"PB_DST_SIM", PB_DST_SIM},
        {"PB_DST_SIM_FD", PB_DST_SIM_FD}, {"PB_DST_PC", PB_DST_PC},         {"PB_NOSELECT", PB_NOSELECT},
    };
    static const EnumTrace sms[] = {
        {"SMS_SRC_EEPROM", SMS_SRC_EEPROM}, {"SMS_SRC_SIM", SMS_SRC_SIM}, {"SMS_SRC_PC", SMS_SRC_PC},
        {"SMS_DST_EEPROM", SMS_DST_EEPROM}, {"SMS_DST_SIM", SMS_DST_SIM}, {"SMS_DST_PC", SMS_DST_PC},
        {"SMS_NOSELECT", SMS_NOSELECT},
    };
    WriteDebug("");
    WriteDebug("PHONEBOOK enum value");
    for (const EnumTrace& e : pb)
        WriteDebugInt(std::string("The value of ") + e.name + " is ", e.value);
    WriteDebug("");
    WriteDebug("SMS enum value");
    for (const EnumTrace& e : sms)
        WriteDebugInt(std::string("The value of ") + e.name + " is ", e.value);
    WriteDebug("");
}

// The simulator named by "--simulator <program>". A bare "--simulator" (the
// last argument, or one followed by another option) sets `bare`.
QString SimulatorArgument(const QStringList& arguments, bool& bare)
{
    bare = false;
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments[i] != QLatin1String("--simulator"))
            continue;
        if (i + 1 < arguments.size() && !arguments[i + 1].startsWith(QLatin1Char('-')) &&
            !arguments[i + 1].startsWith(QLatin1String("/nosplash"), Qt::CaseInsensitive))
            return arguments[i + 1];
        bare = true;
    }
    return QString();
}

// The simulator built with the program: one laid beside it, else the one of
// the build tree the program was built in.
QString BuiltSimulator(const std::string& programFolder, QStringList& lookedAt)
{
    lookedAt = {QString::fromStdString(programFolder + "phonesim")};
#ifdef ZORQ_BUILT_SIMULATOR
    if (*ZORQ_BUILT_SIMULATOR)
        lookedAt << QStringLiteral(ZORQ_BUILT_SIMULATOR);
#endif
    for (const QString& path : lookedAt)
        if (::access(path.toLocal8Bit().constData(), X_OK) == 0)
            return path;
    return QString();
}

// Moves "SMSimSIM.mdb" and "PerMsgSM.mdb" from the Database folder to the
// work folder, by rename (no row is rewritten), each journal before its
// database so that a database never arrives without it. A mirror already in
// the work folder is the one later runs kept up to date: it is not replaced,
// and the old file then stays where it is rather than being lost.
void MoveSIMMirrorsToWorkFolder(const std::string& databaseFolder, const std::string& workFolder)
{
    if (databaseFolder == workFolder)
        return;
    for (const char* name : {"SMSimSIM.mdb", "PerMsgSM.mdb"}) {
        const std::string from = databaseFolder + name, to = workFolder + name;
        if (!FileExists(from))
            continue;
        if (FileExists(to)) {
            WriteDebug("MoveSIMMirrorsToWorkFolder -> kept, the work folder has its own: ", from);
            continue;
        }
        bool ok = true;
        for (const char* journal : {"-journal", "-wal", "-shm"}) {
            const std::string j = from + journal;
            if (FileExists(j) && std::rename(j.c_str(), (to + journal).c_str()) != 0)
                ok = false;
        }
        ok = ok && std::rename(from.c_str(), to.c_str()) == 0;
        WriteDebug(ok ? "MoveSIMMirrorsToWorkFolder -> moved to the work folder: "
                      : "MoveSIMMirrorsToWorkFolder -> could not be moved: ",
                   from);
    }
}

bool ArgumentsAskNoSplash(const QStringList& arguments)
{
    for (const QString& a : arguments)
        if (a.compare(QLatin1String("/nosplash"), Qt::CaseInsensitive) == 0 ||
            a.compare(QLatin1String("--nosplash"), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

}  // namespace

bool CZorqMMIApp::InitInstance(const QStringList& arguments, const std::string& programFile)
{
    m_bShutDown = false;
    m_bHandedOver = false;
    // Every window of the program carries its icon in the title bar, the
    // parentless ones (message boxes, progress windows, dialogs opened from
    // no window) as well as the main window, from the first message on.
    QApplication::setWindowIcon(LoadAppIcon(kProgramIconId));

    // Folders first: the running instance is looked for per user, but the
    // folders are needed by nothing before that.
    SetDataDirectories(programFile);
    if (!FindRunningInstance()) {
        m_bHandedOver = true;
        return false;
    }
    // From here on a signal asking the program to end is caught. During
    // the start it closes the box that waits for OK, and the start ends the
    // program once its steps have returned.
    m_bQuitAsked = false;
    m_bStarting = true;
    m_pQuitSignals = std::make_unique<CQuitSignals>();
    m_pQuitSignals->Listen([this] { OnQuitSignal(); });
    const bool started = InitInstanceSteps(arguments);
    m_bStarting = false;
    if (!started) {
        // Nothing of a failed start stays: a later start must not find it.
        m_pQuitSignals.reset();
        m_pInstance.reset();
        return false;
    }
    if (m_bQuitAsked) {
        WriteDebug("CZorqMMIApp::InitInstance -> a signal came during the start, the program ends");
        ShutDown();
    }
    return true;
}

void CZorqMMIApp::OnQuitSignal()
{
    WriteDebug("CZorqMMIApp -> a signal asks the program to end");
    m_bQuitAsked = true;
    if (m_bShutDown)
        return;
    if (m_bStarting) {
        // A box of the start waits for OK: nobody may be there to give it.
        // No other box follows (DoMessageBox); InitInstance ends the program
        // once its steps have returned.
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QDialog*>(w); box && box->isVisible() && box->isModal())
                box->reject();
        return;
    }
    if (m_pMainWnd)
        m_pMainWnd->hide();
    // A long operation stops as its progress window's Cancel stops it: the
    // item under way is finished and no other starts; the shut-down follows
    // once the operation has returned (a send waits for its own request).
    if (CDlgProgress::CancelStanding())
        WriteDebug("CZorqMMIApp -> the operation under way is cancelled");
    ShutDown();
}

bool CZorqMMIApp::InitInstanceSteps(const QStringList& arguments)
{
    SetIniProfileFile(m_strAppDir);
    InitDebugFile(m_strAppDir);
    UiForgetReportedFiles();

    if (!GetLanguageCode()) {
        // Without a bundle there are no strings, but the box is still the program's.
        SystemMessageBox(nullptr, QString::fromLatin1(kUnableToLoadResources), QString::fromUtf8(kProductName),
                         MB_OK);
        return false;
    }
    if (!CheckInstallation())
        return false;
    // A melody save killed half-way leaves its temporary file in the melody
    // folder, where nothing would ever remove it. Only this program's runs
    // write there, and no other runs now (the instance lock is held).
    if (const int removed = RemoveLeftTemporaryFiles(m_strMelodyDir))
        WriteDebugInt("CZorqMMIApp::InitInstance -> temporary files left in the melody folder, removed: ", removed);
    // The SIM message mirrors of earlier versions sat among the PC
    // databases, where every "open a PC database" dialog offered them.
    MoveSIMMirrorsToWorkFolder(m_strDatabaseDir, m_strWorkDir);
    // A settings file that cannot be read is left alone (writes refuse to
    // replace it): the user is told why the settings read as defaults.
    // A full disk or a read-only program folder: the settings of this run
    // will not be kept, and the user hears it once, here, whether or not
    // this start has anything to write.
    const bool readable = IsIniProfileReadable();
    if (!readable)
        UiReportFileOnce(kFileUnreadable, GetIniProfilePath());
    else if (!CanSaveIniProfile())
        UiReportFileOnce(kFileUnsaved, GetIniProfilePath());
    {
        // The start's own settings go to the file in one rewrite, and only
        // those that changed: a large file is not written again for each.
        IniProfileBatch batch;
        ReadSettings();
        ReadPictureSettings();
        if (!CreateDefaultDatabases()) {
            batch.Commit();
            FreeResourceLibrary();
            return false;
        }
        for (const char* section : {"PhoneBook", "SMSMT", "SMSMO"}) {
            WriteIniProfileInt(section, "ComboSort", -1);
            WriteIniProfileInt(section, "Source", -1);
        }
        if (!batch.Commit() && IsIniProfileReadable())
            UiReportFileOnce(kFileUnsaved, GetIniProfilePath());
    }
    if (!RegisterVersionEditionNumber()) {
        ShowMessageBox(31457, MB_OK);
        FreeResourceLibrary();
        return false;
    }

    m_bShowSplash = !ArgumentsAskNoSplash(arguments);
    if (m_strSimulator.isEmpty()) {
        bool bare = false;
        m_strSimulator = SimulatorArgument(arguments, bare);
        if (bare) {
            QStringList lookedAt;
            m_strSimulator = BuiltSimulator(m_strAppDir, lookedAt);
            if (m_strSimulator.isEmpty()) {
                const std::string where = lookedAt.join(QStringLiteral(" or ")).toStdString();
                std::fprintf(stderr,
                             "zorqmmi: --simulator: no phone simulator was built with this program (none at %s); "
                             "it starts without one\n",
                             where.c_str());
                WriteDebug("CZorqMMIApp::InitInstance -> no simulator built with the program at ", where);
            }
        }
    }
    if (IsSmallScreen())
        HideTaskbar();

    // The engine: kernel, tick and the engine's own start.
    m_pLoop = std::make_unique<CAppLoop>(this);
    engine_set_host(m_pLoop->Host());
    ati_use_kernel();
    krn_start();
    krn_start_timer();
    m_bEngineStarted = true;
    std::string device = GetIniProfileString("MobileInfo", "ManufacturerId", "Quenvale");
    WriteDebug("InitInstance -> application must work with device named:", device);
    WriteDebug("CZorqMMIApp::InitInstance -> mtr_init called");
    mtr_init(device);
    gv_pShortMsg = nullptr;
    gv_pMelodyView = nullptr;
    gv_pDoc = nullptr;
    TraceStorageEnumerations();

    if (IsSmallScreen())
        MakeTaskbarNotTopmost();
    if (!CreateMainWindow()) {
        WriteDebug("CZorqMMIApp::InitInstance -> the main window could not be created");
        ShutDown();
        DestroyMainWindow();
        FreeResourceLibrary();
        return false;
    }
    m_pLoop->Start();
    return true;
}

bool CZorqMMIApp::FindRunningInstance()
{
    if (m_strInstanceName.isEmpty())
        m_strInstanceName = QStringLiteral("Pellard-%1").arg(static_cast<unsigned>(::getuid()));
    m_pInstance = std::make_unique<CSingleInstance>(m_strInstanceName);
    if (!m_pInstance->Acquire())
        return false;
    m_pInstance->Listen([this] {
        // Bring the running program, and the dialog it may show, to the front.
        QWidget* main = m_pMainWnd;
        if (main) {
            if (main->isMinimized())
                main->showNormal();
            main->show();
            main->raise();
            main->activateWindow();
        }
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->raise();
            modal->activateWindow();
        }
    });
    return true;
}

bool CZorqMMIApp::CheckDirectory(const std::string& path, bool report)
{
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return true;
    if (report)
        DoMessageBox(FormatString(31420, {QString::fromStdString(path)}), MB_OK, 0);
    return false;
}

bool CZorqMMIApp::CheckFile(const std::string& path)
{
    if (::access(path.c_str(), F_OK) == 0)
        return true;
    DoMessageBox(FormatString(31421, {QString::fromStdString(path)}), MB_OK, 0);
    return false;
}

bool CZorqMMIApp::MakeDirectory(const std::string& path)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    if (::mkdir(p.c_str(), 0777) == 0)
        return true;
    DoMessageBox(FormatString(31422, {QString::fromStdString(path)}), MB_OK, 0);
    return false;
}

bool CZorqMMIApp::CheckInstallation()
{
    bool ok = CheckDirectory(m_strResDir, true) && CheckFile(m_strResDir + m_strBmpName) &&
              CheckFile(m_strResDir + "pbback.bmp") && CheckFile(m_strResDir + "smsback.bmp");
    for (const std::string* dir : {&m_strWorkDir, &m_strDatabaseDir, &m_strMelodyDir}) {
        if (!ok)
            break;
        if (!CheckDirectory(*dir, false))
            ok = MakeDirectory(*dir);
    }
    ok = ok && CheckDirectory(m_strFilesDir, true) && CheckFile(m_strFilesDir + "GSMToWin.cvt") &&
         CheckFile(m_strFilesDir + "WinToGSM.cvt");
    if (!ok)
        FreeResourceLibrary();
    return ok;
}

bool CZorqMMIApp::ReadSettings()
{
    struct PathKey {
        const char* key;
        std::string def;
    };
    for (const PathKey& k : {PathKey{"Phonebook", m_strDatabaseDir + "defpb.mdb"},
                             PathKey{"SMS", m_strDatabaseDir + "defsms.mdb"}}) {
        std::string value = GetIniProfileString("Databases", k.key, k.def);
        if (strcasecmp(value.c_str(), k.def.c_str()) == 0)
            WriteIniProfileString("Databases", k.key, k.def);
    }
    if (GetIniProfileInt("PoolingTime", "Pool", 0) == 0)
        WriteIniProfileInt("PoolingTime", "Pool", 0);
    if (GetIniProfileString("MobileInfo", "ManufacturerId", "").empty())
        WriteIniProfileString("MobileInfo", "ManufacturerId", "Quenvale");
    if (GetIniProfileInt("ConditionnalImplementation", "RightClickOnPC", 0) == 0)
        WriteIniProfileInt("ConditionnalImplementation", "RightClickOnPC", 0);
    if (GetIniProfileInt("Pellard", "Debug", 0) == 0)
        WriteIniProfileInt("Pellard", "Debug", 0);
    return true;
}

bool CZorqMMIApp::ReadPictureSettings()
{
    std::string name = GetIniProfileString("Pictures", "BmpName", "");
    m_strPictureIni = name.empty() ? GetIniProfilePath() : m_strResDir + name + ".INI";
    return true;
}

bool CZorqMMIApp::CreateDefaultDatabases()
{
    const std::string pb = m_strDatabaseDir + "defpb.mdb";
    if (!FileExists(pb) && !CreatePBDatabaseFile(pb)) {
        ShowMessageBox(31461, MB_OK);
        return false;
    }
    const std::string sms = m_strDatabaseDir + "defsms.mdb";
    if (!FileExists(sms) && !CreateSMSDatabaseFile(sms)) {
        ShowMessageBox(31461, MB_OK);
        return false;
    }
    return true;
}

bool CZorqMMIApp::CreatePBDatabaseFile(const std::string&) { return false; }
bool CZorqMMIApp::CreateSMSDatabaseFile(const std::string&) { return false; }

bool CZorqMMIApp::CreateMainWindow()
{
    m_pDocWindows = std::make_unique<CAppDocWindows>();
    m_pDoc = std::make_unique<CZorqMMIDoc>();
    m_pDoc->SetWindows(m_pDocWindows.get());
    auto* frame = new CMainFrame();
    SetViewShutdownHandler([] {
        if (CZorqMMIApp* app = CZorqMMIApp::Instance())
            app->ShutDown();
    });
    auto* menu = new CZorqMenu(frame);
    menu->OnInitialUpdate();
    frame->SetActiveView(menu);
    frame->EnableCloseCommands(true);
    frame->hide();
    if (m_bShowSplash) {
        CSplashWnd::EnableSplash(true);
        CSplashWnd::ShowSplash(nullptr);
        m_pSplashWnd = CSplashWnd::Current();
    }
    return true;
}

void CZorqMMIApp::DestroyMainWindow()
{
    if (m_pSplashWnd) {
        CSplashWnd::HideSplash();
        m_pSplashWnd = nullptr;
    }
    delete m_pMainFrame;  // clears m_pMainFrame and m_pMainWnd
    SetViewShutdownHandler(nullptr);
    if (m_pDoc)
        m_pDoc->SetWindows(nullptr);
    m_pDoc.reset();
    m_pDocWindows.reset();
}

int CZorqMMIApp::FirstDetection()
{
    if (!m_pDoc)
        return 1;
    // While the simulator may yet stand in, what the detection has to tell
    // of a missing phone (a port of the [Ports] section that cannot be
    // opened, no port at all) is told only if it does not.
    HoldBackNoPhoneNotices(!m_strSimulator.isEmpty() && !m_pSimulator);
    bool ok = m_pDoc->mmi_NewMobileDetect(true);
    HoldBackNoPhoneNotices(false);
    // No phone on any port: the bundled simulator stands in for this run.
    if (ok && gv_SPIO_com_status != SPIO_com_available && StartSimulator())
        ok = m_pDoc->mmi_NewMobileDetect(true);
    else if (ok && gv_SPIO_com_status != SPIO_com_available)
        ShowNoPhoneNotices();
    m_pDoc->LoadConcatLists();
    return ok ? 1 : 0;
}

void CZorqMMIApp::IdleDocumentWork()
{
    if (!m_pDoc)
        return;
    // A link change noted by polling: the detection runs here, outside the
    // request that noticed it, once however many times it was noted, and
    // quietly: the quick link test, no progress window.
    const bool noted = m_pDocWindows && m_pDocWindows->TakeRefresh();
    if (m_pDoc->TakeLinkChange() || noted) {
        CViewFrame* frame = GetViewFrame();
        if (CMainView* view = frame ? frame->GetActiveView() : nullptr)
            view->OnQuietRefresh();
        else
            m_pDoc->mmi_NewMobileDetect(false);
        if (m_bShutDown || !m_pDoc)
            return;
    }
    m_pDoc->BackGroundUpLoadPB();
}

void CZorqMMIApp::CloseDocument()
{
    if (!m_pDoc)
        return;
    m_pDoc->ClosePBDatabases(3);
    m_pDoc->CloseSMSDatabases(3);
    m_pDoc->OnCloseDocument();
}

bool CZorqMMIApp::StartSimulator()
{
    if (m_strSimulator.isEmpty() || m_pSimulator)
        return false;
    // The first port number the user has not mapped himself.
    uint16_t port = 0;
    for (uint16_t n = 1; n <= 6 && !port; ++n)
        if (GetIniProfileString("Ports", "COM" + std::to_string(n), "").empty())
            port = n;
    if (!port)
        return false;
    auto* sim = new QProcess();
    sim->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim->start(m_strSimulator, {});
    if (!sim->waitForStarted(3000) || !sim->waitForReadyRead(3000)) {
        WriteDebug("CZorqMMIApp::StartSimulator -> the simulator did not start: ", m_strSimulator.toStdString());
        delete sim;
        return false;
    }
    const std::string device = QString::fromLocal8Bit(sim->readLine()).trimmed().toStdString();
    if (device.empty() || device[0] != '/') {
        sim->kill();
        sim->waitForFinished(1000);
        delete sim;
        return false;
    }
    m_pSimulator = sim;
    if (m_pMainFrame)
        m_pMainFrame->UpdateTitle();
    serial_set_run_port(port, device);
    // The port is tried first; the mapping lives only in this run.
    WriteIniProfileInt("Configuration", "SerialPort", port);
    WriteDebug("CZorqMMIApp::StartSimulator -> the simulator answers on ", device);
    return true;
}

void CZorqMMIApp::StopSimulator()
{
    if (!m_pSimulator)
        return;
    serial_set_run_port(0, std::string());
    m_pSimulator->closeWriteChannel();  // the simulator ends when its input closes
    if (!m_pSimulator->waitForFinished(2000)) {
        m_pSimulator->kill();
        m_pSimulator->waitForFinished(1000);
    }
    delete m_pSimulator;
    m_pSimulator = nullptr;
}

bool CZorqMMIApp::IsCodeEntrySupported() { return !m_pDoc || m_pDoc->IsCodeEntrySupported(); }

void CZorqMMIApp::SetMainFrame(CMainFrame* frame)
{
    m_pMainFrame = frame;
    m_pMainWnd = frame;
}

void CZorqMMIApp::ShowMainWindow()
{
    if (m_pSplashWnd) {
        CSplashWnd::HideSplash();
        m_pSplashWnd = nullptr;
    }
    if (QWidget* main = m_pMainWnd) {
        main->show();
        main->raise();
        main->activateWindow();
    }
}
