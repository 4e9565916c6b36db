#include "mainview.h"

#include "at_defs.h"
#include "debugtrace.h"
#include "dialog.h"
#include "dlgabout.h"
#include "dlgtimedpopup.h"
#include "handbutton.h"
#include "helpfile.h"
#include "iconmenu.h"
#include "langbundle.h"
#include "mainframe.h"
#include "launcher.h"
#include "mtr_mmng.h"
#include "objectlist.h"
#include "profile.h"
#include "strutil.h"
#include "trayicon.h"
#include "utilities.h"
#include "viewframe.h"
#include "wndmsg.h"
#include "zorqapp.h"
#include "zorqmenu.h"

#include "zorqmmidoc.h"
#include "dlgprogress.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QFile>
#include <QLabel>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QPainter>
#include <QPushButton>
#include <QThread>
#include <QUiLoader>

// The status bar's defaults (dialog units): indicator position, then the
// rectangle repainted from the background.
struct IndicatorDefaults {
    const char* section;
    int dx, dy, rx, ry, rw, rh;
};

namespace {

void (*g_shutdownHandler)() = nullptr;
bool g_firstInitialUpdate = true;

constexpr IndicatorDefaults kRegion1{"Region1", 72, 255, 61, 251, 42, 22};
constexpr IndicatorDefaults kRegion2{"Region2", 114, 255, 104, 251, 42, 22};
constexpr IndicatorDefaults kRegion3{"Region3", 157, 260, 146, 251, 42, 22};
constexpr IndicatorDefaults kRegion4{"Region4", 200, 255, 190, 251, 42, 22};
constexpr IndicatorDefaults kRegion6{"Region6", 244, 255, 233, 251, 42, 22};
constexpr IndicatorDefaults kRegion7{"Region7", 286, 255, 276, 251, 42, 22};
constexpr IndicatorDefaults kRegion8{"Region8", 330, 260, 318, 251, 42, 22};

// Status icons are drawn at their own size.
constexpr int kStatusIconSize = 32;
// The form of a screen without a template (dialog units).
constexpr int kFormWidthDlu = 419, kFormHeightDlu = 278;

const QColor kTextColor(0x1F, 0x3B, 0x5C);
const QColor kGreyText(192, 192, 192);
const QColor kPlainBackground(0xE9, 0xEF, 0xF5);

QPoint DluPoint(int x, int y) { return QPoint(x * 6 / 4, y * 13 / 8); }

bool Linked() { return gv_SPIO_com_status == 2; }

QString ProductTitle()
{
    QString title = QString::fromLatin1(kProductName);
    if (gv_bDebug)
        title += QStringLiteral(" (Debug Mode)");
    return title;
}

// Forwards the form's mouse events to its view, so that the picture under
// the form reacts to the mouse as well; the window messages that the form's
// controls post to their parent (a list's Delete key, its focused row) go
// to the view, whose window procedure handles them.
class FormMouseFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == CWndMsgEvent::EventType() && watched != parent()) {
            if (auto* view = qobject_cast<CMainView*>(parent())) {
                auto* m = static_cast<CWndMsgEvent*>(e);
                m->result = view->DefWindowProc(m->message(), m->wParam(), m->lParam());
                return true;
            }
        }
        if (e->type() == QEvent::MouseMove || e->type() == QEvent::MouseButtonPress) {
            auto* view = qobject_cast<CMainView*>(parent());
            auto* form = qobject_cast<QWidget*>(watched);
            if (view && form) {
                auto* me = static_cast<QMouseEvent*>(e);
                const QPointF at = form->mapTo(view, me->position().toPoint());
                QMouseEvent forwarded(me->type(), at, me->globalPosition(), me->button(),
                                      me->buttons(), me->modifiers());
                QCoreApplication::sendEvent(view, &forwarded);
                return true;
            }
        }
        return QObject::eventFilter(watched, e);
    }
};

// Where the backgrounds draw their 24-pixel heading symbol, on the white
// title band.
constexpr QRect kHeading(10, 5, 28, 28);

// The header picture's click area: either mouse button, or Enter and Space
// once the keyboard reached it, opens the window's menu. It draws only its
// focus frame, over the symbol of the picture beneath.
class HeaderPictureArea : public CPictureFocusArea {
public:
    explicit HeaderPictureArea(CMainView* view) : CPictureFocusArea(view, 2, 4), m_view(view)
    {
        setObjectName(QStringLiteral("headerPicture"));
        setGeometry(kHeading);
        setAccessibleName(QString::fromLatin1(kProductName));
    }

protected:
    void mousePressEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::LeftButton || e->button() == Qt::RightButton)
            m_view->ShowWindowMenu(mapToGlobal(QPoint(0, height())));
    }
    void keyPressEvent(QKeyEvent* e) override
    {
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Space)
            m_view->ShowWindowMenu(mapToGlobal(QPoint(0, height())));
        else
            QWidget::keyPressEvent(e);
    }

private:
    CMainView* m_view;
};

}  // namespace

CPictureFocusArea::CPictureFocusArea(QWidget* parent, qreal penWidth, qreal radius)
    : QWidget(parent), m_penWidth(penWidth), m_radius(radius)
{
    setFocusPolicy(Qt::TabFocus);
}

void CPictureFocusArea::paintEvent(QPaintEvent*)
{
    if (!hasFocus())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0xE0, 0x7A, 0x2F), m_penWidth));
    // The pen is centred on the outline: inset by half its width it stays
    // inside the area.
    const qreal inset = m_penWidth / 2;
    const QRectF r = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    const qreal radius = m_radius < 0 ? r.height() / 2 : m_radius;
    p.drawRoundedRect(r, radius, radius);
}

void SetViewShutdownHandler(void (*handler)()) { g_shutdownHandler = handler; }

CMainView::CMainView(int templateId, QWidget* parent)
    : QWidget(parent), m_templateId(templateId), m_dropSource(this)
{
    setMouseTracking(true);
    setAutoFillBackground(false);
    // Drags pass over the whole window, so its own drags show their images
    // between the drop places too; nothing is ever dropped on it.
    setAcceptDrops(true);
    m_dropSource.SetView(this);
    m_pBatteryTray = std::make_unique<CTrayIcon>();
    m_pMessageTray = std::make_unique<CTrayIcon>();
    LoadTemplate();
    BindHandButtons();
    m_pHeader = new HeaderPictureArea(this);
    m_pHeader->show();
}

CMainView::~CMainView()
{
    CloseProgress();
    if (!m_bDestroyed) {
        m_bDestroyed = true;
        CMainView::OnDestroy();
    }
}

void CMainView::LoadTemplate()
{
    CLanguageBundle* bundle = GetResourceModule();
    QWidget* form = nullptr;
    if (bundle && bundle->IsLoaded()) {
        QFile file(bundle->TemplatePath(m_templateId));
        if (file.open(QIODevice::ReadOnly)) {
            QUiLoader loader;
            form = loader.load(&file, this);
        }
    }
    if (!form) {
        setFixedSize(DluToPixels(QRect(0, 0, kFormWidthDlu, kFormHeightDlu)).size());
        return;
    }
    m_bHasTemplate = true;
    form->setWindowFlags(Qt::Widget);
    form->setAutoFillBackground(false);
    form->setAttribute(Qt::WA_NoSystemBackground);
    form->setMouseTracking(true);
    form->installEventFilter(new FormMouseFilter(this));
    form->move(0, 0);
    setFixedSize(form->size());
    form->show();
}

QWidget* CMainView::GetDlgItem(int id) const
{
    return findChild<QWidget*>(QStringLiteral("id%1").arg(id));
}

void CMainView::BindHandButtons()
{
    auto bind = [this](int id, int xDlu) {
        auto* existing = qobject_cast<QPushButton*>(GetDlgItem(id));
        CHandButton* button = nullptr;
        if (auto* hand = qobject_cast<CHandButton*>(existing))
            button = hand;
        else if (existing)
            button = CHandButton::ReplaceButton(existing);
        else {
            // A screen whose form lacks the button still gets it at its usual place.
            button = new CHandButton(this);
            button->setObjectName(QStringLiteral("id%1").arg(id));
            button->setGeometry(QRect(DluPoint(xDlu, 252), QSize(70, 32)));
            button->show();
        }
        connect(button, &QPushButton::clicked, this, [this, id] {
            if (id == IDC_REFRESH)
                OnRefresh();
            else
                OnQuitView();
        });
        return button;
    };
    m_pRefresh = bind(IDC_REFRESH, 4);
    m_pQuit = bind(IDC_QUITVIEW, 367);
    // Every other button of the form reports its id.
    for (QAbstractButton* b : findChildren<QAbstractButton*>()) {
        const QString name = b->objectName();
        bool ok = false;
        const int id = name.startsWith(QLatin1String("id")) ? name.mid(2).toInt(&ok) : 0;
        if (!ok || id == IDC_REFRESH || id == IDC_QUITVIEW || b->isCheckable())
            continue;
        connect(b, &QAbstractButton::clicked, this, [this, id] { OnCommand(id); });
    }
}

CZorqMMIDoc* CMainView::GetDocument() const
{
    return CZorqMMIDoc::Instance();
}

// ---- Life of a screen ------------------------------------------------------------

void CMainView::OnInitialUpdate()
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    CViewFrame* frame = GetViewFrame();
    m_pBatteryTray->SetOwner(nullptr, 0);
    m_pMessageTray->SetOwner(frame ? frame->GetFrameWindow() : (app ? app->m_pMainWnd : nullptr), 0);
    m_strPictureIni = app ? app->GetPictureIniPath() : std::string();

    auto setImage = [](CHandButton* button, const QString& name) {
        const QIcon icon = LoadAppIconByName(name);
        if (icon.isNull())
            return;
        button->setIcon(icon);
        button->setIconSize(QSize(70, 32));
        button->setText(QString());
        button->resize(70, 32);
    };
    setImage(m_pRefresh, QStringLiteral("IDI_REFRESH"));
    setImage(m_pQuit, QuitButtonIcon());
    if (app) {
        m_pRefresh->setToolTip(app->LoadString(31749));
        m_pQuit->setToolTip(app->LoadString(QuitButtonTip()));
    }
    // Only the base view's part (the refresh button): the screens read the
    // phone in their own deferred load, so their update here would read it
    // a second time on every entry.
    CMainView::OnUpdateMSParam(1);

    LoadBackgroundPicture();

    if (IsFirstInitialUpdate() && frame)
        frame->CenterFrame(size());

    m_rgnMessage = ReadClickRegion("Region4", 191, 251, 231, 272);
    m_rgnNetwork = ReadClickRegion("Region3", 148, 251, 188, 272);

    if (!m_hand && app)
        m_hand = LoadCursorFromFile(QString::fromStdString(app->GetResDir() + "hand.cur"));
}

void CMainView::OnActivateView(bool activate)
{
    m_dropSource.SetOverOwnView(false);
    if (activate)
        update();
}

void CMainView::DestroyWindow()
{
    if (m_bDestroyed)
        return;
    m_bDestroyed = true;
    OnDestroy();
    hide();
    // A dialog of this screen may still be open, or a box that its code
    // runs (a switch asked for from outside it, the tray's double click):
    // the screen goes after it, and not inside a request or a pause, which
    // its code may be waiting in.
    DeleteWindowWhenNoDialogRuns(this, [] { return CZorqMMIApp::OperationUnderWay(); });
}

void CMainView::OnDestroy()
{
    if (m_bClosing != 1)
        return;
    CloseDocumentDatabases();
    WriteDebug("CMainView::OnDestroy -> mtr_stop called");
    if (g_shutdownHandler)
        g_shutdownHandler();
}

bool CMainView::SwitchToScreen(int screen, int argument, const QString& title)
{
    CViewFrame* frame = GetViewFrame();
    QWidget* parent = frame ? frame->GetFrameWindow() : parentWidget();
    CMainView* view = screen == SCREEN_MENU ? new CZorqMenu(parent)
                                            : CreateScreen(screen, parent, argument);
    if (!view)
        return false;  // this screen stays, closing flag and all
    m_bClosing = 0;
    if (frame)
        frame->SetFrameTitle(title);
    view->OnInitialUpdate();
    view->CopyStatusFrom(*this);
    if (frame) {
        frame->SetActiveView(view);
        frame->EnableCloseCommands(screen == SCREEN_MENU);
    } else {
        view->move(pos());
        view->show();
    }
    view->OnActivateView(true);
    DestroyWindow();
    return true;
}

// ---- Messages --------------------------------------------------------------------------

bool CMainView::event(QEvent* e)
{
    if (e->type() == CWndMsgEvent::EventType()) {
        auto* m = static_cast<CWndMsgEvent*>(e);
        if (m->message() == WM_MMI_DEFERRED_INIT &&
            (CZorqMMIApp::RequestWaiting() || QApplication::activeModalWidget())) {
            // A screen's first load talks to the phone. Delivered inside the
            // wait of another request (the background phonebook reading
            // goes on between the screen's opening and this message), its
            // request would be refused and the screen stay empty; delivered
            // inside the loop of a dialog the user opened meanwhile, its
            // progress would disable that dialog under the user's typing. It
            // runs once the phone is free and the dialog gone, before the
            // input held meanwhile (a click on a button of this screen).
            const std::uintptr_t w = m->wParam();
            const std::intptr_t l = m->lParam();
            CZorqMMIApp* app = CZorqMMIApp::Instance();
            if (!app || !app->OweUntilFree(this, [this, w, l] {
                    CWndMsgEvent again(WM_MMI_DEFERRED_INIT, w, l);
                    QCoreApplication::sendEvent(this, &again);
                }))
                QTimer::singleShot(20, this, [this, w, l] { PostMessage(this, WM_MMI_DEFERRED_INIT, w, l); });
            return true;
        }
        m->result = DefWindowProc(m->message(), m->wParam(), m->lParam());
        return true;
    }
    return QWidget::event(e);
}

std::intptr_t CMainView::DefWindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    const int value = static_cast<int>(static_cast<std::intptr_t>(wParam));
    switch (message) {
    case WM_MMI_START_UP:
        OnStartUp();
        return 0;
    case WM_MMI_TRAY_NOTIFY:
        if (static_cast<unsigned>(lParam) == WM_LBUTTONDBLCLK) {
            OnTrayDblClick();
            return 1;
        }
        return 0;
    case WM_MMI_APP_ENDED:
        if (CZorqMMIDoc* doc = GetDocument()) {
            if (doc->IsDataAppRunning())
                OnProcessEnded();
            return 1;
        }
        return 0;
    case WM_LIST_LOAD_PROGRESS:
        // A list read from a folder of files counts them as they come.
        SetProgressPos(static_cast<int>(lParam));
        return 0;
    case WM_MMI_SIM_BUSY:
        if (CZorqMMIApp* app = CZorqMMIApp::Instance())
            app->ShowMessageBox(31352, MB_OK);
        return 0;
    case WM_MMI_BATTERY_CHARGE: mmi_MNGT_battery_charge(value); return 0;
    case WM_MMI_OPERATOR_NAME:
        SetOperatorName(wParam ? QString::fromLatin1(reinterpret_cast<const char*>(wParam)) : QString());
        return 0;
    case WM_MMI_SIGNAL_QUALITY: mmi_MNGT_signal_quality(value); return 0;
    case WM_MMI_MESSAGE_ICON: mmi_MNGT_message_icon(value); return 0;
    case WM_MMI_UNREAD_MSG: mmi_MNGT_set_unread_msg(value); return 0;
    case WM_MMI_SMS_FULL: mmi_MNGT_set_sms_full(value); return 0;
    case WM_MMI_CALL_ICON: mmi_MNGT_call_icon(value); return 0;
    case WM_MMI_VOICE_MAIL_ICON: mmi_MNGT_voice_mail_icon(value); return 0;
    case WM_MMI_SIM_STORAGE_ICON: mmi_MNGT_use_sim_icon(value); return 0;
    case WM_MMI_ME_STORAGE_ICON: mmi_MNGT_use_eeprom_icon(value); return 0;
    case WM_MMI_EDIT_MODE_ICON: mmi_MNGT_edit_mode_icon(value); return 0;
    case WM_MMI_ROAMING_ICON: mmi_MNGT_roaming_icon(value); return 0;
    case 0x80A:
    case 0x817:
        return 0;
    case WM_MMI_SMS_RECEIVED:
        OnNewMsgReceived(value, static_cast<uint8_t>(lParam & 0xFF));
        return 0;
    case WM_MMI_REPORT_RECEIVED:
        OnStatusReportReceived();
        return 0;
    case WM_MMI_MS_PARAM_CHANGED:
        OnUpdateMSParam(value);
        return 0;
    case 0x0111:  // a command of a context menu
        OnCommand(value);
        return 0;
    case 0x7F1:  // the phone's date and time; lParam points at the day count
        if (lParam)
            OnPhoneDateTime(*reinterpret_cast<const double*>(lParam));
        return 0;
    default:
        return 0;
    }
}

void CMainView::OnCommand(int) {}

// ---- What the screens fill -----------------------------------------------------------

bool CMainView::OnDropData(QWidget*, const QMimeData*) { return true; }
Qt::DropAction CMainView::CanDropData(QWidget*, const QMimeData*) { return Qt::IgnoreAction; }
const QList<QPixmap>* CMainView::GetDragImageList() { return nullptr; }
int CMainView::GetDragImageOther() { return 0; }
int CMainView::GetDragImageStart() { return 0; }
void CMainView::OnNewMsgReceived(int, uint8_t) {}
void CMainView::OnStatusReportReceived() {}
void CMainView::OnPhoneDateTime(double) {}
void CMainView::OnFrameMove() {}

void CMainView::OnUpdateMSParam(int)
{
    bool running = false;
    if (CZorqMMIDoc* doc = GetDocument())
        running = doc->IsDataAppRunning();
    if (m_pRefresh)
        m_pRefresh->setEnabled(!running);
}

void CMainView::dragEnterEvent(QDragEnterEvent* e)
{
    m_dropSource.SetOverOwnView(true);
    m_dropSource.FeedbackAt(false, mapToGlobal(e->position().toPoint()));
    e->ignore();
}

void CMainView::dragMoveEvent(QDragMoveEvent* e)
{
    m_dropSource.FeedbackAt(false, mapToGlobal(e->position().toPoint()));
    e->ignore();
}

void CMainView::dragLeaveEvent(QDragLeaveEvent* e)
{
    m_dropSource.SetOverOwnView(false);
    m_dropSource.FeedbackAt(false, QCursor::pos());
    QWidget::dragLeaveEvent(e);
}

// ---- Status display ----------------------------------------------------------------------

void CMainView::CopyStatusFrom(const CMainView& other)
{
    m_status = other.m_status;
    UpdateBatteryTray();
    UpdateMessageTray();
    update();
}

QRect CMainView::IndicatorRect(const char* section, int rx, int ry, int rw, int rh, int dx,
                               int dy, bool text) const
{
    // The repaint rectangle is in dialog units like the drawing, so no stale
    // pixels of an indicator stay behind.
    const int x = ReadPictureInt(section, "REDRAW_ULX", rx);
    const int y = ReadPictureInt(section, "REDRAW_ULY", ry);
    const int w = ReadPictureInt(section, "REDRAW_WIDTH", rw);
    const int h = ReadPictureInt(section, "REDRAW_HEIGHT", rh);
    QRect r = DluToPixels(QRect(x, y, w, h));
    const int px = ReadPictureInt(section, "DISP_ULX", dx);
    const int py = ReadPictureInt(section, "DISP_ULY", dy);
    if (px >= 0 && py >= 0) {
        const QPoint at = DluPoint(px, py);
        if (text)
            r |= QRect(at, QSize(fontMetrics().horizontalAdvance(QStringLiteral("WWWWWW")),
                                 fontMetrics().height()));
        else
            r |= QRect(at, QSize(kStatusIconSize, kStatusIconSize));
    }
    return r;
}

void CMainView::RepaintRegion(const char* section, int rx, int ry, int rw, int rh, int dx, int dy,
                              bool text)
{
    // Drawn when the handler returns: a synchronous repaint of just this
    // indicator (painting itself happens only in the paint event).
    if (isVisible())
        repaint(IndicatorRect(section, rx, ry, rw, rh, dx, dy, text));
}

#define ZORQ_REPAINT(d, text) RepaintRegion(d.section, d.rx, d.ry, d.rw, d.rh, d.dx, d.dy, text)

void CMainView::SetIndicator(int StatusBlock::*field, int value, const char* trace, const IndicatorDefaults* region,
                             bool text)
{
    m_status.*field = value;
    WriteDebugInt(trace, value);
    if (region)
        ZORQ_REPAINT((*region), text);
}

void CMainView::mmi_MNGT_battery_charge(int value)
{
    SetIndicator(&StatusBlock::bat_charge, value, "CMainView::mmi_MNGT_battery_charge -> bat_charge = ");
    UpdateBatteryTray();
    ZORQ_REPAINT(kRegion1, false);
}

void CMainView::mmi_MNGT_signal_quality(int value)
{
    SetIndicator(&StatusBlock::signal_quality, value, "CMainView::mmi_MNGT_signal_quality -> signal_quality = ",
                 &kRegion2);
}

void CMainView::mmi_MNGT_message_icon(int value)
{
    // The indicator stays lit while unread messages wait.
    if (value == 0 && m_status.unread_msg == 1)
        return;
    SetIndicator(&StatusBlock::sms_icon, value, "CMainView::mmi_MNGT_message_icon -> sms_icon = ");
    UpdateMessageTray();
    ZORQ_REPAINT(kRegion4, false);
}

void CMainView::mmi_MNGT_set_unread_msg(int value)
{
    SetIndicator(&StatusBlock::unread_msg, value, "CMainView::mmi_MNGT_set_unread_msg -> unread_msg = ");
}

void CMainView::mmi_MNGT_set_sms_full(int value)
{
    SetIndicator(&StatusBlock::sms_full, value, "CMainView::mmi_MNGT_set_sms_full -> sms_full = ");
}

void CMainView::mmi_MNGT_call_icon(int value)
{
    SetIndicator(&StatusBlock::call_icon, value, "CMainView::mmi_MNGT_call_icon -> call_icon = ", &kRegion6);
}

void CMainView::mmi_MNGT_voice_mail_icon(int value)
{
    SetIndicator(&StatusBlock::voice_mail_icon, value, "CMainView::mmi_MNGT_voice_mail_icon -> voice_mail_icon = ",
                 &kRegion7);
}

void CMainView::mmi_MNGT_use_sim_icon(int value)
{
    SetIndicator(&StatusBlock::use_sim_icon, value, "CMainView::mmi_MNGT_use_sim_icon -> use_sim_icon = ");
}

void CMainView::mmi_MNGT_use_eeprom_icon(int value)
{
    SetIndicator(&StatusBlock::use_eeprom_icon, value, "CMainView::mmi_MNGT_use_eeprom_icon -> use_eeprom_icon = ");
}

void CMainView::mmi_MNGT_edit_mode_icon(int value)
{
    SetIndicator(&StatusBlock::edit_mode_icon, value, "CMainView::mmi_MNGT_edit_mode_icon -> edit_mode_icon = ");
}

void CMainView::mmi_MNGT_roaming_icon(int value)
{
    SetIndicator(&StatusBlock::roaming_icon, value, "CMainView::mmi_MNGT_roaming_icon -> roaming_icon = ", &kRegion8,
                 true);
}

int CMainView::IndicatorIcon(int region) const
{
    const bool linked = Linked();
    const StatusBlock& s = m_status;
    switch (region) {
    case 1:
        if (!linked) return 255;
        switch (s.bat_charge) { case 1: return 183; case 2: return 195; case 3: return 188; default: return 255; }
    case 2:
        if (!linked) return 254;
        switch (s.signal_quality) {
        case 1: return 192; case 2: return 194; case 3: return 187;
        case 4: case 5: case 6: return 182;
        default: return 254;
        }
    case 4:
        if (!linked) return 249;
        if (s.sms_icon == 0) return 249;
        if (s.sms_icon == 1) return 243;
        return 0;  // the dark phase of blinking, or nothing to show
    case 6:
        if (!linked) return 248;
        return s.call_icon == 1 ? 242 : 248;
    case 7:
        if (!linked) return 252;
        return s.voice_mail_icon == 1 ? 241 : 252;
    default:
        return 0;
    }
}

void CMainView::UpdateBatteryTray()
{
    const int icon = IndicatorIcon(1);
    if (icon == 255)
        m_pBatteryTray->Remove();
    else
        m_pBatteryTray->Modify(icon, 0, 0);
}

void CMainView::UpdateMessageTray()
{
    if (!Linked()) {
        m_pMessageTray->Remove();
        return;
    }
    switch (m_status.sms_icon) {
    case -1:
        if (m_status.sms_full != -1)
            m_pMessageTray->Modify(262, 0, 0);
        break;
    case 0:
        m_pMessageTray->Remove();
        break;
    case 1:
        if (m_status.unread_msg == 1 && m_status.sms_full == 0)
            m_pMessageTray->Modify(243, 31313, WM_MMI_TRAY_NOTIFY);
        else if (m_status.sms_full >= 0)
            m_pMessageTray->Modify(243, 0, 0);
        break;
    default:
        break;
    }
}

void CMainView::DrawIcon(QPainter& p, const char* section, int dx, int dy, int iconId)
{
    const int x = ReadPictureInt(section, "DISP_ULX", dx);
    const int y = ReadPictureInt(section, "DISP_ULY", dy);
    if (x < 0 || y < 0 || iconId == 0)
        return;
    const QIcon icon = LoadAppIcon(iconId);
    if (!icon.isNull())
        p.drawPixmap(DluPoint(x, y), icon.pixmap(kStatusIconSize, kStatusIconSize));
}

void CMainView::DrawText(QPainter& p, const char* section, int dx, int dy, int stringId, bool grey)
{
    int x = ReadPictureInt(section, "DISP_ULX", dx);
    const int y = ReadPictureInt(section, "DISP_ULY", dy);
    if (x < 0 || y < 0)
        return;
    const QString text = CZorqMMIApp::Instance() ? CZorqMMIApp::Instance()->LoadString(stringId) : QString();
    if (!text.isEmpty() && text.size() <= 3)
        x += 4 - int(text.size());
    p.setPen(grey ? kGreyText : kTextColor);
    const QPoint at = DluPoint(x, y);
    p.drawText(QRect(at, QSize(200, fontMetrics().height())), Qt::AlignLeft | Qt::AlignTop, text);
}

void CMainView::DrawIndicators(QPainter& p)
{
    const bool linked = Linked();
    DrawIcon(p, kRegion4.section, kRegion4.dx, kRegion4.dy, IndicatorIcon(4));
    DrawIcon(p, kRegion1.section, kRegion1.dx, kRegion1.dy, IndicatorIcon(1));
    m_bNetworkGrey = !linked;
    DrawText(p, kRegion3.section, kRegion3.dx, kRegion3.dy, 31441, m_bNetworkGrey);
    DrawText(p, kRegion8.section, kRegion8.dx, kRegion8.dy, 31442, !linked || m_status.roaming_icon == 0);
    DrawIcon(p, kRegion2.section, kRegion2.dx, kRegion2.dy, IndicatorIcon(2));
    DrawIcon(p, kRegion6.section, kRegion6.dx, kRegion6.dy, IndicatorIcon(6));
    DrawIcon(p, kRegion7.section, kRegion7.dx, kRegion7.dy, IndicatorIcon(7));
}

void CMainView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (m_pDib)
        m_pDib->Draw(p, this, 0, 0);
    else
        p.fillRect(rect(), kPlainBackground);
    p.setFont(font());
    DrawIndicators(p);
}

// ---- Picture settings and regions ---------------------------------------------------

int CMainView::ReadPictureInt(const char* section, const char* key, int def) const
{
    return GetIniFileInt(m_strPictureIni, section, key, def);
}

QRegion CMainView::ReadClickRegion(const char* section, int ulx, int uly, int lrx, int lry) const
{
    const int form = ReadPictureInt(section, "Form", 0);
    const int x1 = ReadPictureInt(section, "RGN_ULX", ulx);
    const int y1 = ReadPictureInt(section, "RGN_ULY", uly);
    const int x2 = ReadPictureInt(section, "RGN_LRX", lrx);
    const int y2 = ReadPictureInt(section, "RGN_LRY", lry);
    const QRect r(DluPoint(x1, y1), DluPoint(x2, y2) - QPoint(1, 1));
    return QRegion(r, form == 0 ? QRegion::Ellipse : QRegion::Rectangle);
}

void CMainView::ReadRedrawRect(const char* section, int ulx, int uly, int width, int height)
{
    const int x = ReadPictureInt(section, "REDRAW_ULX", ulx);
    const int y = ReadPictureInt(section, "REDRAW_ULY", uly);
    const int w = ReadPictureInt(section, "REDRAW_WIDTH", width);
    const int h = ReadPictureInt(section, "REDRAW_HEIGHT", height);
    update(DluToPixels(QRect(x, y, w, h)));
}

void CMainView::LoadRedrawRects()
{
    for (const IndicatorDefaults* d : {&kRegion1, &kRegion2, &kRegion3, &kRegion4, &kRegion6,
                                       &kRegion7, &kRegion8})
        ReadRedrawRect(d->section, d->rx, d->ry, d->rw, d->rh);
}

std::string CMainView::LoadBackground() const
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    const std::string res = app ? app->GetResDir() : std::string();
    switch (m_nViewKind) {
    case VIEW_MENU: return res + (app ? app->GetBmpName() : std::string());
    case VIEW_PHONEBOOK: return res + "pbback.bmp";
    case VIEW_SHORTMSG: return res + "smsback.bmp";
    case VIEW_ORGANISER: return res + "orgback.bmp";
    case VIEW_MELODY: return res + "melback.bmp";
    case VIEW_SETUP: return res + "smsback.bmp";
    case VIEW_DATA: return res + "databack.bmp";
    default: return res;
    }
}

bool CMainView::LoadBackgroundPicture()
{
    const std::string path = LoadBackground();
    if (path.empty())
        return m_pDib != nullptr;
    QFile file(QString::fromStdString(path));
    if (path.back() == '/' || !file.open(QIODevice::ReadOnly)) {
        // The screen goes on over a plain background: ending the program here
        // would lose the engine's orderly stop and everything unsaved.
        if (CZorqMMIApp* app = CZorqMMIApp::Instance())
            app->DoMessageBox(app->FormatString(31421, {QString::fromStdString(path)}), MB_OK, 0);
        m_pDib.reset();
        m_pPalette.reset();
        return false;
    }
    auto dib = std::make_unique<CDib>();
    if (!dib->ReadFile(file)) {
        // Damaged or cut short: the screen goes on over a plain background.
        UiReportFileOnce(kFileUnreadable, path);
        m_pDib.reset();
        m_pPalette.reset();
        return false;
    }
    m_pDib = std::move(dib);
    m_pPalette = std::make_unique<CDibPalette>();
    if (!m_pPalette->Create(*m_pDib))
        m_pPalette.reset();
    update();
    return true;
}

// ---- Mouse ---------------------------------------------------------------------------------------

void CMainView::mousePressEvent(QMouseEvent* e)
{
    OnLButtonDown(e->buttons(), e->modifiers(), e->position().toPoint());
}

void CMainView::mouseMoveEvent(QMouseEvent* e)
{
    // Each move starts from "nothing under the mouse"; the menu sets its
    // pictures in its own handler before the status bar's areas.
    m_nHovered = 0;
    OnMouseMove(e->position().toPoint());
}

void CMainView::OnLButtonDown(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers,
                              const QPoint& point)
{
    if (buttons != Qt::LeftButton || modifiers != Qt::NoModifier)
        return;
    if (m_rgnNetwork.contains(point))
        DisplayOpName();
    // The message icon is clickable exactly while it shows the hand.
    if (m_rgnMessage.contains(point) && m_status.unread_msg == 1 && m_status.sms_full == 0)
        OnMessageIconClick();
    else if (EntryRegion().contains(point))
        OnEntryRegionClick();
}

void CMainView::OnMessageIconClick()
{
    // The switch to the received folder clears the closing flag itself.
    if (CZorqMMIDoc* doc = GetDocument())
        doc->Windows()->ShowSMSMT();
}

void CMainView::OnMouseMove(const QPoint& point)
{
    if (m_rgnMessage.contains(point) && m_status.unread_msg == 1 && m_status.sms_full == 0)
        m_nHovered = 6;
    if (m_rgnNetwork.contains(point) && Linked())
        m_nHovered = m_bNetworkGrey ? 0 : 8;
    if (m_pRefresh)
        m_pRefresh->ResetCursor();
    if (m_pQuit)
        m_pQuit->ResetCursor();
    ApplyHandCursor();
}

void CMainView::ApplyHandCursor()
{
    if (m_nHovered == 0) {
        if (m_bHandShown) {
            unsetCursor();
            m_bHandShown = false;
        }
    } else if (m_hand && !m_bHandShown) {
        setCursor(*m_hand);
        m_bHandShown = true;
    }
}

// ---- Commands -----------------------------------------------------------------------------------

void CMainView::OnHelp()
{
    // The help document in the desktop's browser, at this screen's section.
    OpenHelp(HelpContextOfView(m_nViewKind));
}

void CMainView::OnRefresh()
{
    if (m_bShowProgress == 1)
        StartProgress(31746, 5);
    if (CZorqMMIDoc* doc = GetDocument())
        doc->mmi_NewMobileDetect(m_bDetectArgument != 0);
    if (m_bShowProgress == 1)
        EndProgress(5);
    m_bShowProgress = 1;
    m_bDetectArgument = 1;
}

void CMainView::OnQuietRefresh()
{
    m_bShowProgress = 0;
    m_bDetectArgument = 0;
    OnRefresh();
}

void CMainView::OnQuitView()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    SwitchToScreen(SCREEN_MENU, 0, ProductTitle());
    QApplication::restoreOverrideCursor();
}

void CMainView::OnStartUp()
{
    CZorqMMIDoc* doc = GetDocument();
    if (!doc)
        return;
    const std::string name = doc->GetPCSMSDatabasePath();
    // A database the user has since removed is no reason for a box at every
    // start: the message screen offers the choice when it is needed.
    if (!FileExists(name))
        return;
    try {
        if (doc->OpenSMSDatabaseByName(name, 0) != 0)
            return;
        CJetDatabase* db = nullptr;
        if (doc->OpenSMSDatabase(&db, 0, std::string()) != 0 || !db)
            return;
        // Messages of type 0 (unread) in the PC database.
        CDaoRecordset rs(db);
        rs.Open(dbOpenDynaset, "SELECT * FROM EntrySMS ORDER BY Date");
        bool unread = false;
        for (; !rs.IsEOF() && !unread; rs.MoveNext()) {
            const CVariant type = rs.GetFieldValue("msgType");
            unread = !type.IsNull() && type.AsInt() == 0;
        }
        rs.Close();
        if (unread && CZorqMMIApp::Instance())
            CZorqMMIApp::Instance()->ShowMessageBox(31871, MB_OK);
    } catch (...) {
        // The start-up check is a courtesy; a database problem shows elsewhere.
    }
}

void CMainView::OnTrayDblClick()
{
    if (m_nViewKind == VIEW_SHORTMSG)
        return;
    CZorqMMIDoc* doc = GetDocument();
    if (!doc)
        return;
    // While the new-message box waits for its answer the screen stays: the
    // box's own OK is the way on.
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    if (doc->IsNewMsgBoxShown() || (app && app->IsSMSBoxShown()))
        return;
    // The switch clears the closing flag itself, and only when it happens.
    if (m_status.unread_msg == 1 && m_status.sms_full == 0)
        doc->Windows()->ShowSMSMT();
}

void CMainView::OnProcessEnded()
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    if (app && app->m_pMainWnd) {
        app->m_pMainWnd->showNormal();
        // The phone's detection that follows holds this thread for a while
        // and shows its own window: the main window comes back painted
        // first, not as an empty (black) frame under "Looking for the
        // phone...". The window manager's restore takes its time.
        WaitUntilRepainted(app->m_pMainWnd);
    }
    update();
    if (CZorqMMIDoc* doc = GetDocument())
        doc->SetDataAppRunning(false);
    OnRefresh();
}

// ---- Services ------------------------------------------------------------------------------------

void CMainView::ShowHeadingPicture(const QString& iconName)
{
    // The label hides the background's symbol; the header picture's click
    // area stays above it.
    auto* heading = findChild<QLabel*>(QStringLiteral("headingPicture"), Qt::FindDirectChildrenOnly);
    if (!heading) {
        heading = new QLabel(this);
        heading->setObjectName(QStringLiteral("headingPicture"));
        heading->setGeometry(kHeading);
        heading->setAlignment(Qt::AlignCenter);
        heading->setAutoFillBackground(true);
        QPalette pal = heading->palette();
        pal.setColor(QPalette::Window, Qt::white);
        heading->setPalette(pal);
    }
    heading->setPixmap(LoadAppIconByName(iconName).pixmap(24, 24));
    heading->show();
    if (m_pHeader)
        m_pHeader->raise();
}

void CMainView::ShowWindowMenu(const QPoint& at)
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    if (!m_pWindowMenu) {
        m_pWindowMenu = new QMenu(this);
        m_pWindowMenu->setObjectName(QStringLiteral("windowMenu"));
        QAction* minimise = m_pWindowMenu->addAction(app ? app->LoadString(31970) : QString());
        minimise->setObjectName(QStringLiteral("minimise"));
        connect(minimise, &QAction::triggered, this, [this] { window()->showMinimized(); });
        QAction* close = m_pWindowMenu->addAction(app ? app->LoadString(31971) : QString());
        close->setObjectName(QStringLiteral("close"));
        // The frame asks before closing, and only from the menu screen.
        connect(close, &QAction::triggered, this, [this] { window()->close(); });
        m_pWindowMenu->addSeparator();
        QAction* about = m_pWindowMenu->addAction(AboutMenuText());
        about->setObjectName(QStringLiteral("about"));
        connect(about, &QAction::triggered, this, [this] { RunAboutBox(window()); });
    }
    // Close follows the frame's close commands (greyed outside the menu).
    bool closable = m_nViewKind == VIEW_MENU;
    if (auto* frame = qobject_cast<CMainFrame*>(window()))
        closable = closable && frame->CloseCommandsEnabled();
    if (QAction* close = m_pWindowMenu->findChild<QAction*>(QStringLiteral("close")))
        close->setEnabled(closable);
    m_pWindowMenu->popup(at);
}

void CMainView::DisplayOpName()
{
    const int x = ReadPictureInt("Region3", "DISP_ULX", 157);
    const int y = ReadPictureInt("Region3", "DISP_ULY", 260);
    const QRect rect = DluToPixels(QRect(x - 8, y - 5, 12, 13));
    if (GetIniProfileInt("Configuration", "SerialPort", 0) == 0)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    WriteDebug("CMainView::DisplayOpName -> mtr_MMNG_get_operator_name called");
    std::string name;
    const MTR_RESULT result = mtr_MMNG_get_operator_name(name);
    WriteDebug("CMainView::DisplayOpName -> The operator name returned is ", name);
    QApplication::restoreOverrideCursor();
    Trim(name);
    CollapseAllBlanks(name);
    if (result == -35 && !name.empty()) {
        CDlgTimedPopup popup(this);
        popup.m_strText = QString::fromLatin1(name.c_str());
        const QPoint at = mapToGlobal(rect.topLeft());
        popup.SetPosition(at.x(), at.y());
        popup.DoModal();
    } else if (result != -35) {
        WriteDebug("CMainView::DisplayOpName -> The operator name could not be returned (AT+COPS failed)");
    }
}

void CMainView::StartProgress(int titleStringId, int steps)
{
    if (steps <= 1)
        steps = 2;
    auto* dlg = qobject_cast<CDlgProgressText*>(m_pProgress.data());
    if (!dlg) {
        dlg = new CDlgProgressText(this);
        m_pProgress = dlg;
    }
    dlg->Start(titleStringId, steps, 0);
}

void CMainView::SetProgressPos(int position)
{
    if (auto* dlg = qobject_cast<CDlgProgressText*>(m_pProgress.data()))
        dlg->SetPos(position);
}

void CMainView::EndProgress(int result)
{
    auto* dlg = qobject_cast<CDlgProgressText*>(m_pProgress.data());
    if (!dlg)
        return;
    dlg->SetPos(result == 1 ? 2 : result);
    PauseProgress(500);
    CloseProgress();
}

void CMainView::PauseProgress(int ms)
{
    if (auto* dlg = qobject_cast<CDlgProgressText*>(m_pProgress.data()))
        dlg->Pause(ms);
    else
        PumpMessagesFor(ms, false);
}

void CMainView::StopProgress(bool failed, int messageStringId)
{
    auto* dlg = qobject_cast<CDlgProgressText*>(m_pProgress.data());
    if (dlg)
        dlg->Finish(!failed);
    CloseProgress();
    if (failed && CZorqMMIApp::Instance())
        CZorqMMIApp::Instance()->ShowMessageBox(messageStringId, MB_OK);
}

void CMainView::CloseProgress()
{
    if (m_pProgress) {
        QWidget* w = m_pProgress.data();
        m_pProgress = nullptr;
        w->hide();
        delete w;
    }
}

int CMainView::GetComboSort(const char* section, int count, int def) const
{
    const int value = GetIniProfileInt(section, "ComboSort", 1);
    return value >= 0 && value < count ? value : def;
}

void CMainView::SaveComboSort(const char* section, int value) const
{
    WriteIniProfileInt(section, "ComboSort", value);
}

int CMainView::GetSourceSetting(const char* section) const
{
    int value = GetIniProfileInt(section, "Source", -1);
    if (value < 0 || value > 2)
        value = 1;
    // Each screen asks about its own storages: the phonebook's phone memory
    // is its storage 3, the message screens' phone memory their storage 2.
    if (CZorqMMIDoc* doc = GetDocument()) {
        const bool phonebook = m_nViewKind == VIEW_PHONEBOOK;
        auto available = [&](int source) {
            if (phonebook)
                return doc->IsPBStorageAvailable(source == 1 ? 1 : 3) != 0;
            return doc->IsSMSStorageAvailable(source) != 0;
        };
        if (value == 1 && !available(1))
            value = 0;
        else if (value == 2 && !available(2))
            value = 0;
    }
    return value;
}

void CMainView::UpdateMenuIcons(int menuId, int destPosition, int flag1, int flag2, int flag3,
                                int flag4, int flag5, int flag6, const QPoint* at)
{
    if (menuId == 0)
        return;
    CIconMenu menu;
    if (!menu.LoadMenu(menuId))
        return;
    CIconMenu* sub = menu.GetSubMenu(0);
    if (!sub)
        return;
    auto icons = [sub](unsigned id, const char* name) {
        const QString n = QString::fromLatin1(name);
        sub->SetItemIcons(id, n, QString(), n + QStringLiteral("DISABLE"));
    };
    if (m_nViewKind == VIEW_PHONEBOOK) {
        icons(0x8005, "IDI_MENU_DIAL");
        sub->EnableItem(0x8005, !(flag1 || flag2));
        sub->EnableItem(0x8013, !flag2);
    } else if (m_nViewKind == VIEW_SHORTMSG) {
        icons(0x800A, "IDI_MENU_SEND");
        icons(0x800C, "IDI_MENU_REPLY");
        icons(0x800D, "IDI_MENU_FORWARD");
        for (unsigned id : {0x800Au, 0x800Cu, 0x800Du})
            sub->EnableItem(id, !(flag1 || flag2));
    }
    if (CIconMenu* dest = sub->GetSubMenu(destPosition)) {
        for (unsigned id : {0x8022u, 0x8026u, 0x8027u})
            dest->SetItemIcons(id, QStringLiteral("IDI_MENU_PC"), QString(), QStringLiteral("IDI_MENU_PCDISABLE"));
        dest->SetItemIcons(0x8023, QStringLiteral("IDI_MENU_SIM"), QString(), QStringLiteral("IDI_MENU_SIMDISABLE"));
        if (m_nViewKind == VIEW_PHONEBOOK) {
            dest->SetItemIcons(0x8024, QStringLiteral("IDI_MENU_SIM_FDN"), QString(), QStringLiteral("IDI_MENU_SIM_FDNDISABLE"));
            dest->SetItemIcons(0x8025, QStringLiteral("IDI_MENU_EPROM"), QString(), QStringLiteral("IDI_MENU_EPROMDISABLE"));
        }
        if (!flag6) dest->RemoveItem(0x8025);
        if (!flag3) dest->RemoveItem(0x8022);
        if (!flag4) dest->RemoveItem(0x8023);
        if (!flag5) dest->RemoveItem(0x8024);
        if (dest->ItemCount() == 0) {
            sub->RemoveItemAt(destPosition);
            if (sub->IsSeparatorAt(destPosition))
                sub->RemoveItemAt(destPosition);
        }
    }
    sub->SetItemIcons(0x8008, QStringLiteral("IDI_MENU_PRINT"), QString(), QString());
    sub->SetItemIcons(0x8009, QStringLiteral("IDI_MENU_DELETE"), QString(), QString());
    sub->TrackPopup(at ? *at : QCursor::pos(), this);
}

void CMainView::CloseDocumentDatabases()
{
    if (CZorqMMIDoc* doc = GetDocument()) {
        doc->ClosePBDatabases(3);
        doc->CloseSMSDatabases(3);
    }
}

bool CMainView::IsFirstInitialUpdate()
{
    const bool first = g_firstInitialUpdate;
    g_firstInitialUpdate = false;
    return first;
}

void CMainView::ResetFirstInitialUpdate() { g_firstInitialUpdate = true; }
