#include "setup.h"

#include "dlgalarm.h"
#include "dlgdatetime.h"
#include "languagechoice.h"
#include "securitylistwnd.h"
#include "viewframe.h"
#include "zorqmmidoc.h"
#if __has_include("dlgservicecenter.h")
#include "dlgservicecenter.h"
#include "uimsg.h"
#define ZORQ_HAVE_PROFILES 1
#endif
#if __has_include("dlgdraganddrop.h")
#include "dlgdraganddrop.h"
#define ZORQ_HAVE_DRAG_SETTINGS 1
#endif

#include "at_defs.h"
#include "dialog.h"
#include "utilities.h"
#include "wndmsg.h"
#include "uiservices.h"
#include "zorqapp.h"

#include <QAbstractButton>
#include <cmath>
#include <QComboBox>
#include <QLabel>
#include <QPalette>

namespace {

constexpr int kHeadingIds[] = {1099, 1131, 1134, 1032, 1034};

}  // namespace

// ---- CSetUp ------------------------------------------------------------------------------

CSetUp::CSetUp(QWidget* parent, int templateId) : CMainView(templateId, parent)
{
    m_nViewKind = VIEW_SETUP;
    m_bClosing = 0;
    m_pLanguage = qobject_cast<QComboBox*>(GetDlgItem(291));
#ifdef ZORQ_HAVE_PROFILES
    m_pProfiles = new CServiceCenterListWnd(this);
    m_pProfiles->BindControls(GetDlgItem(1091), GetDlgItem(1090), GetDlgItem(1033), GetDlgItem(1089));
    // One column as wide as the list: no sideways scrolling in the short panel.
    m_pProfiles->GetListCtrl()->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The panel's own buttons replace the form's: they report here.
    connect(m_pProfiles->GetNewButton(), &QPushButton::clicked, this, [this] { OnCommand(1033); });
    connect(m_pProfiles->GetModifyButton(), &QPushButton::clicked, this, [this] { OnCommand(1091); });
    connect(m_pProfiles->GetTrashButton(), &QPushButton::clicked, this, [this] { OnCommand(1090); });
    connect(m_pProfiles->GetListCtrl(), &QAbstractItemView::doubleClicked, this, [this] { OnCommand(1091); });
    connect(m_pProfiles, &CObjectListWnd::droppedOn, this, [this](QPushButton* target) {
        if (target == m_pProfiles->GetModifyButton())
            OnCommand(1091);
        else if (target == m_pProfiles->GetTrashButton())
            OnCommand(1090);
    });
#else
    for (int id : {1034, 1033, 1091, 1090, 1089})
        if (QWidget* w = GetDlgItem(id))
            w->hide();
#endif
}

CSetUp::~CSetUp() = default;

void CSetUp::SetHeading(int id)
{
    QWidget* w = GetDlgItem(id);
    if (!w)
        return;
    w->setFont(m_headingFont);
    QPalette pal = w->palette();
    const QColor navy((kHeadingRgb >> 16) & 0xFF, (kHeadingRgb >> 8) & 0xFF, kHeadingRgb & 0xFF);
    pal.setColor(QPalette::WindowText, navy);
    pal.setColor(QPalette::ButtonText, navy);
    w->setPalette(pal);
}

void CSetUp::OnInitialUpdate()
{
    CMainView::OnInitialUpdate();

    m_headingFont = font();
    m_headingFont.setPixelSize(12);
    m_headingFont.setBold(true);
    for (int id : kHeadingIds)
        SetHeading(id);
    if (auto* title = qobject_cast<QLabel*>(GetDlgItem(1134)))
        title->setText(QString::fromLatin1(kProductName));

    const struct {
        int control, icon;
    } icons[] = {{1029, 235}, {1052, 225}, {1053, 263}, {1153, 332}};
    for (const auto& i : icons)
        if (auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(i.control)))
            b->setIcon(LoadAppIcon(i.icon));
    // The background is the messages' one: its heading shows the set-up's symbol.
    ShowHeadingPicture(QStringLiteral("IDI_HEADING_SETUP"));

#ifdef ZORQ_HAVE_PROFILES
    if (CZorqMMIDoc* doc = GetDocument()) {
        CServiceCenterList& profiles = doc->GetServiceCenterList();
        profiles.RemoveByType(CServiceCenter::kNone);
        // Without the phone's message parameters its profiles mean nothing.
        if (doc->GetSMSParamState() == 0) {
            profiles.RemoveByType(CServiceCenter::kPhoneDefault);
            profiles.RemoveByType(CServiceCenter::kPhone);
        }
    }
#endif

    CZorqMMIApp* app = CZorqMMIApp::Instance();
    FillLanguageCombo(m_pLanguage, app ? app->GetAppDir() : std::string(), app ? app->GetLanguage() : "enu");

    CZorqMMIDoc* doc = GetDocument();
    const bool link = gv_SPIO_com_status == SPIO_com_available;
    bool clock = link && doc && doc->GetSetUpFlagA() != 0;
    if (clock) {
        m_clock.UpLoad();
        m_strClock = m_clock.GetText();
        clock = !m_strClock.isEmpty();
    }
    if (QWidget* b = GetDlgItem(1052))
        b->setEnabled(clock);
    if (QWidget* b = GetDlgItem(1053))
        b->setEnabled(link && doc && doc->GetSetUpFlagB() != 0);
    ShowClockText();

    AddToolTips();
    PostMessage(this, WM_MMI_DEFERRED_INIT);
}

void CSetUp::AddToolTips()
{
    const struct {
        int control, text;
    } tips[] = {{1029, 31240}, {1053, 31626}, {1052, 31627}, {1037, 31628}, {1153, 31878}};
    for (const auto& t : tips)
        if (QWidget* w = GetDlgItem(t.control))
            w->setToolTip(UiLoadString(t.text));
#ifdef ZORQ_HAVE_PROFILES
    m_pProfiles->AddToolTips();
#endif
}

void CSetUp::ShowClockText()
{
    if (auto* label = qobject_cast<QLabel*>(GetDlgItem(1037)))
        label->setText(m_strClock);
}

std::intptr_t CSetUp::DefWindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    switch (message) {
    case WM_MMI_DEFERRED_INIT:
        OnDeferredInit();
        return 0;
#ifdef ZORQ_HAVE_PROFILES
    case WM_LIST_FOCUS_ROW:
        m_pProfiles->OnClickList();
        return 0;
    case WM_LIST_DELETE_KEY:
        // The security list on the same screen sends the key too: only the
        // profile list's Delete deletes profiles.
        if (wParam == reinterpret_cast<std::uintptr_t>(m_pProfiles->GetListCtrl()))
            OnDeleteProfiles();
        return 0;
#endif
    default:
        return CMainView::DefWindowProc(message, wParam, lParam);
    }
}

void CSetUp::OnDeferredInit()
{
    update();
    AttachProfiles(QString());
    m_bLoaded = true;
}

void CSetUp::AttachProfiles(const QString& selectName)
{
#ifdef ZORQ_HAVE_PROFILES
    CZorqMMIDoc* doc = GetDocument();
    if (!doc) {
        m_pProfiles->DisableAll();
        return;
    }
    m_pProfiles->SetDocument(&doc->GetServiceCenterList());
    CServiceCenter* chosen = selectName.isEmpty() ? nullptr : doc->GetServiceCenterList().FindByName(selectName);
    if (chosen) {
        m_pProfiles->GetListCtrl()->DeselectAll();
        m_pProfiles->SelectItemByName(chosen);
    } else {
        m_pProfiles->SelectSavedProfile();
    }
    m_pProfiles->UpdateButtons();
#else
    (void)selectName;
#endif
}

void CSetUp::OnAddProfile()
{
#ifdef ZORQ_HAVE_PROFILES
    if (m_pProfiles->GetDocument())
        m_pProfiles->NewProfile();
#endif
}

void CSetUp::OnModifyProfile()
{
#ifdef ZORQ_HAVE_PROFILES
    if (m_pProfiles->GetDocument() && m_pProfiles->GetSelectedProfile())
        m_pProfiles->ModifySelectedProfile();
#endif
}

void CSetUp::OnDeleteProfiles()
{
#ifdef ZORQ_HAVE_PROFILES
    if (m_pProfiles->GetDocument())
        m_pProfiles->TrashSelectedProfiles();
    m_pProfiles->UpdateButtons();
#endif
}

void CSetUp::OnCommand(int id)
{
    switch (id) {
    case 1052: OnDateTime(); break;
    case 1053: OnAlarm(); break;
    case 1029: OnHelp(); break;
    case 1033: OnAddProfile(); break;
    case 1091: OnModifyProfile(); break;
    case 1090: OnDeleteProfiles(); break;
    default: CMainView::OnCommand(id); break;
    }
}

void CSetUp::OnDateTime()
{
    CDlgDateTime dlg(nullptr);
    if (CZorqMMIDoc* doc = GetDocument())
        dlg.SetFormatCounts(doc->GetClockFormat1(), doc->GetClockFormat2());
    dlg.SetCurrentFormats(m_clock);
    const int result = dlg.DoModal();
    if (dlg.MetSilence()) {
        // The phone did not answer a request of the dialog: the screen shows
        // what it holds now, whatever the dialog last asked for.
        m_clock.UpLoad();
        m_strClock = m_clock.GetText();
        ShowClockText();
        return;
    }
    if (result != IDOK)
        return;
    m_strClock = dlg.GetClock().Format();
    ShowClockText();
}

void CSetUp::OnAlarm()
{
    CDlgAlarm dlg(nullptr);
    dlg.DoModal();
}

void CSetUp::OnPhoneDateTime(double dateTime)
{
    int y, m, d, h, mi, s;
    SplitDateTime(dateTime, y, m, d, h, mi, s);
    const QDateTime when(QDate(y, m, d), QTime(h, mi, s));
    // A report the phone could not mean (no calendar date) is ignored.
    if (!std::isfinite(dateTime) || y < 100 || y > 9999 || !when.isValid())
        return;
    m_clock.SetDateTime(when);
    const QString text = m_clock.Format();
    if (text.isEmpty() || text.contains(QLatin1String("-1")))
        return;
    m_strClock = text;
    ShowClockText();
}

void CSetUp::OnUpdateMSParam(int flag)
{
    CMainView::OnUpdateMSParam(flag);
#ifdef ZORQ_HAVE_PROFILES
    // Before the first load the panel is not attached yet: that load does it.
    CZorqMMIDoc* doc = GetDocument();
    if (!m_bLoaded || !doc)
        return;
    const CServiceCenter* selected = m_pProfiles->GetSelectedProfile();
    const QString name = selected ? selected->GetName() : QString();
    if (!(flag && doc->GetSMSParamState() != 0)) {
        doc->GetServiceCenterList().RemoveByType(CServiceCenter::kPhoneDefault);
        doc->GetServiceCenterList().RemoveByType(CServiceCenter::kPhone);
    }
    AttachProfiles(name);
#endif
}

void CSetUp::OnApply()
{
#ifdef ZORQ_HAVE_PROFILES
    m_pProfiles->SaveSelection();
#endif
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    const std::string before = GetLanguageSetting();
    const std::string chosen = SelectedLanguage(m_pLanguage);
    if (!chosen.empty())
        SetLanguageSetting(chosen);
    const std::string code = GetLanguageSetting();
    // The new bundle is loaded before the menu is built, so that the menu
    // comes up in it. A bundle that cannot be loaded keeps the language in
    // force, its picture and its setting.
    if (app && !code.empty() && app->GetLanguage() != code) {
        app->ChangeLanguage(code);
        if (app->GetLanguage() != code) {
            SetLanguageSetting(before);
        } else {
#ifdef ZORQ_HAVE_PROFILES
            // The phone profiles are named in the language in force.
            if (CZorqMMIDoc* doc = GetDocument())
                doc->GetServiceCenterList().RenameProfiles(doc->GetSCProfileMode());
#endif
        }
    }
    if (app)
        app->LoadBackgroundPictures(app->GetLanguage());
    // This screen is gone once the menu is shown: nothing after this line.
    CMainView::OnQuitView();
}

// ---- CSetUp_SecurCode ----------------------------------------------------------------------

CSetUp_SecurCode::CSetUp_SecurCode(QWidget* parent)
    : CSetUp(parent, 318), m_pSecurity(std::make_unique<CSecurityListWnd>(this))
{
    m_pSecurity->Attach(GetDlgItem(1094), qobject_cast<QAbstractButton*>(GetDlgItem(1093)),
                        qobject_cast<QAbstractButton*>(GetDlgItem(1092)));
    connect(m_pSecurity.get(), &CSecurityListWnd::droppedOn, this, [this](QAbstractButton* target) {
        if (target == m_pSecurity->GetChangeButton())
            OnCommand(1093);
        else if (target == m_pSecurity->GetSwitchButton())
            OnCommand(1092);
    });
}

CSetUp_SecurCode::~CSetUp_SecurCode() = default;

void CSetUp_SecurCode::OnInitialUpdate()
{
    CSetUp::OnInitialUpdate();
    SetHeading(1132);
}

std::intptr_t CSetUp_SecurCode::DefWindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    switch (message) {
    case CSecurityList::kLockFacilityMessage:
        m_pSecurity->OnLockFacility(static_cast<int>(wParam));
        return 0;
    case CSecurityList::kPasswordFacilityMessage:
        m_pSecurity->OnPasswordFacility(static_cast<int>(wParam), static_cast<int>(lParam));
        return 0;
    default:
        return CSetUp::DefWindowProc(message, wParam, lParam);
    }
}

void CSetUp_SecurCode::OnDeferredInit()
{
    CSetUp::OnDeferredInit();
    m_pSecurity->SetDocument(nullptr);
}

void CSetUp_SecurCode::OnCommand(int id)
{
    switch (id) {
    case 1093: m_pSecurity->ModifyCode(); break;
    case 1092: m_pSecurity->EnableCode(); break;
#ifdef ZORQ_HAVE_DRAG_SETTINGS
    case 1153: {
        CDlgDragAndDrop dlg(this);
        dlg.DoModal();
        break;
    }
#endif
    default: CSetUp::OnCommand(id); break;
    }
}

void CSetUp_SecurCode::OnUpdateMSParam(int flag)
{
    CSetUp::OnUpdateMSParam(flag);
    // Before the first load the list is not built yet: that load builds it.
    if (!m_bLoaded)
        return;
    CZorqMMIDoc* doc = GetDocument();
    m_pSecurity->Refresh(flag && doc && doc->IsSecurityAvailable());
}

void CSetUp_SecurCode::OnApply()
{
    m_pSecurity->SaveSelection();
    CSetUp::OnApply();
}

void RegisterSetUpScreens()
{
    RegisterScreen(SCREEN_SECURITY, [](QWidget* parent, int) -> CMainView* { return new CSetUp_SecurCode(parent); });
    RegisterScreen(SCREEN_SETUP, [](QWidget* parent, int) -> CMainView* { return new CSetUp(parent); });
}
