// The base of every full-window screen: the background picture with the
// phone's status indicators, the dispatch of the program's window messages,
// the refresh and back-to-menu buttons, the screen switch, the mouse over
// the status bar, and the small services the screens share.
//
// A screen is built from its form template (dialogs/<id>.ui of the language
// bundle); the controls become children of the view, laid over the picture.
// Every position in the picture's settings file is in dialog units of the
// form, mapped to pixels as x*6/4, y*13/8.
#pragma once

#include "dib.h"
#include "dragdrop.h"

#include <QIcon>
#include <QPointer>
#include <QRegion>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class CZorqMMIDoc;
class CHandButton;
class CTrayIcon;
class QMimeData;
class QCursor;
class QMenu;
struct IndicatorDefaults;

// The kind of screen, which picks its background picture.
enum ViewKind {
    VIEW_MENU = 0, VIEW_PHONEBOOK = 1, VIEW_SHORTMSG = 2, VIEW_ORGANISER = 5, VIEW_MELODY = 6,
    VIEW_SETUP = 7, VIEW_DATA = 8, VIEW_DEFAULT = 9,
};

// The two hand buttons every form has.
constexpr int IDC_REFRESH = 1073;
constexpr int IDC_QUITVIEW = 1148;

// A keyboard stop over a picture of a screen (the header picture, a menu
// picture): the Tab key reaches it, and while it has the focus a frame is
// drawn round it, its corners rounded by `radius` (fully round ends when
// negative).
class CPictureFocusArea : public QWidget {
public:
    CPictureFocusArea(QWidget* parent, qreal penWidth, qreal radius);

protected:
    void focusInEvent(QFocusEvent* e) override { QWidget::focusInEvent(e); update(); }
    void focusOutEvent(QFocusEvent* e) override { QWidget::focusOutEvent(e); update(); }
    void paintEvent(QPaintEvent* e) override;

private:
    qreal m_penWidth;
    qreal m_radius;
};

// The phone's indicators as the screens show them.
struct StatusBlock {
    int bat_charge = 0;       // 0 to 3
    int signal_quality = 0;   // 0 to 4 (5 and 6 drawn as 4)
    int sms_icon = 0;         // 1 on, 0 off, -1 the dark phase of blinking
    int voice_mail_icon = 0;
    int call_icon = 0;
    int use_sim_icon = 0;
    int use_eeprom_icon = 0;
    int roaming_icon = 0;
    int edit_mode_icon = 0;
    int unread_msg = 0;       // 1 while unread messages wait in the phone
    int sms_full = -1;        // -1 until the phone reported it
};

class CMainView : public QWidget, public CDropOwner {
    Q_OBJECT
public:
    explicit CMainView(int templateId, QWidget* parent = nullptr);
    ~CMainView() override;

    int TemplateId() const { return m_templateId; }
    // False when the bundle has no form for this screen (it then has only
    // its picture, the status bar and the two hand buttons).
    bool HasTemplate() const { return m_bHasTemplate; }
    QWidget* GetDlgItem(int id) const;
    CZorqMMIDoc* GetDocument() const;
    int GetViewKind() const { return m_nViewKind; }
    int GetClosingFlag() const { return m_bClosing; }
    void SetClosingFlag(int closing) { m_bClosing = closing; }

    // ---- Life of a screen ----------------------------------------------------
    // The first update: buttons and icons, background and palette, frame
    // size, click regions, hand cursor. Screens call it first from theirs.
    virtual void OnInitialUpdate();
    virtual void OnActivateView(bool activate);
    // Destroys the window: OnDestroy now, the object once control returns to
    // the event loop (the caller is usually this view itself).
    void DestroyWindow();
    // With the closing flag set, the end of the program's work: the
    // document's databases are closed and the shut-down runs.
    virtual void OnDestroy();

    // Replaces this screen by `screen` (opened with `argument`) in the main
    // frame, with `title` as the frame's title; the status block goes along.
    // False when the new screen could not be created: this one stays.
    bool SwitchToScreen(int screen, int argument, const QString& title);

    // ---- Window messages ------------------------------------------------------
    // Every numbered message of the program reaches the screen here. Screens
    // keep their own messages and pass the others on.
    virtual std::intptr_t DefWindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    // A button of the form other than the two hand buttons.
    virtual void OnCommand(int id);

    // ---- What the screens fill ------------------------------------------------
    bool OnDropData(QWidget* target, const QMimeData* data) override;
    Qt::DropAction CanDropData(QWidget* target, const QMimeData* data) override;
    const QList<QPixmap>* GetDragImageList() override;
    int GetDragImageOther() override;
    int GetDragImageStart() override;
    CEntryDropSource* GetDropSource() override { return &m_dropSource; }
    virtual void OnNewMsgReceived(int storage, uint8_t index);
    // True while the screen holds arrivals it reads once its operation ends.
    virtual bool ArrivalsWaiting() const { return false; }
    virtual void OnStatusReportReceived();
    // The phone's clock, as a day count since 30 December 1899.
    virtual void OnPhoneDateTime(double dateTime);
    // The phone's capabilities changed (flag: the phone is there).
    virtual void OnUpdateMSParam(int flag);
    virtual void OnFrameMove();
    // A list of the screen changed; nothing to do here.
    virtual void NotifyControlChanged(QWidget*) {}

    // ---- Status display -----------------------------------------------------------
    const StatusBlock& Status() const { return m_status; }
    const QString& OperatorName() const { return m_strOperatorName; }
    void CopyStatusFrom(const CMainView& other);
    void SetOperatorName(const QString& name) { m_strOperatorName = name; }
    void mmi_MNGT_battery_charge(int value);
    void mmi_MNGT_signal_quality(int value);
    void mmi_MNGT_message_icon(int value);
    void mmi_MNGT_set_unread_msg(int value);
    void mmi_MNGT_set_sms_full(int value);
    void mmi_MNGT_call_icon(int value);
    void mmi_MNGT_voice_mail_icon(int value);
    void mmi_MNGT_use_sim_icon(int value);
    void mmi_MNGT_use_eeprom_icon(int value);
    void mmi_MNGT_edit_mode_icon(int value);
    void mmi_MNGT_roaming_icon(int value);
    // The status icon drawn for an indicator now (0: none), and whether a
    // text indicator is grey; for the screens' own checks.
    int IndicatorIcon(int region) const;
    bool IsNetworkGrey() const { return m_bNetworkGrey; }
    CTrayIcon& BatteryTray() { return *m_pBatteryTray; }
    CTrayIcon& MessageTray() { return *m_pMessageTray; }

    // ---- Commands ---------------------------------------------------------------------
    virtual void OnRefresh();
    // The re-detection after a link change: both refresh flags cleared, then
    // the refresh.
    void OnQuietRefresh();
    virtual void OnQuitView();
    void OnHelp();
    void OnStartUp();
    void OnTrayDblClick();
    void OnProcessEnded();
    // Flags of the refresh: the quiet re-detection clears both.
    int m_bShowProgress = 1;
    int m_bDetectArgument = 1;

    // ---- Picture settings and regions -----------------------------------------------
    const std::string& GetPictureIni() const { return m_strPictureIni; }
    int ReadPictureInt(const char* section, const char* key, int def) const;
    QRegion ReadClickRegion(const char* section, int ulx, int uly, int lrx, int lry) const;
    // Asks for a repaint of an indicator's rectangle.
    void ReadRedrawRect(const char* section, int ulx, int uly, int width, int height);
    void LoadRedrawRects();
    // The background picture's path for this kind of screen.
    std::string LoadBackground() const;
    bool HasBackground() const { return m_pDib != nullptr; }
    const CDib* Background() const { return m_pDib.get(); }
    const QRegion& MessageRegion() const { return m_rgnMessage; }
    const QRegion& NetworkRegion() const { return m_rgnNetwork; }
    bool HasHandCursor() const { return m_hand.has_value(); }
    bool IsHandShown() const { return m_bHandShown; }
    int HoveredArea() const { return m_nHovered; }

    // ---- Services for the screens ---------------------------------------------------
    // Shows the built-in picture `iconName` as the heading symbol at the top
    // left, over the one of the background picture (for a screen that
    // shares another screen's background).
    void ShowHeadingPicture(const QString& iconName);
    // The window's commands (minimise, close, About) in a menu under the
    // header picture at the top left, where a desktop would put the window's
    // own menu. `at` in global coordinates.
    void ShowWindowMenu(const QPoint& at);
    QWidget* HeaderPicture() const { return m_pHeader; }
    QMenu* WindowMenu() const { return m_pWindowMenu; }
    void DisplayOpName();
    void StartProgress(int titleStringId, int steps);
    void SetProgressPos(int position);
    void EndProgress(int result);
    // Waits `ms` with the event loop running and only the progress window
    // taking user input.
    void PauseProgress(int ms);
    void StopProgress(bool failed, int messageStringId);
    void CloseProgress();
    bool IsProgressShown() const { return m_pProgress != nullptr; }
    int GetComboSort(const char* section, int count, int def) const;
    void SaveComboSort(const char* section, int value) const;
    int GetSourceSetting(const char* section) const;
    // The context menu with icons of the list screens (menu of the bundle,
    // position of its destination submenu, flags 1 to 6: see the .cpp).
    void UpdateMenuIcons(int menuId, int destPosition, int flag1, int flag2, int flag3,
                         int flag4, int flag5, int flag6, const QPoint* at = nullptr);
    void CloseDocumentDatabases();
    // True only for the first screen of the run.
    static bool IsFirstInitialUpdate();
    static void ResetFirstInitialUpdate();

    CHandButton* RefreshButton() const { return m_pRefresh; }
    CHandButton* QuitButton() const { return m_pQuit; }

protected:
    virtual void OnLButtonDown(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers,
                               const QPoint& point);
    virtual void OnMouseMove(const QPoint& point);
    // A click on the status picture's message icon while unread messages
    // wait: the received messages are shown.
    virtual void OnMessageIconClick();
    // The screen's own click area of the picture (none here) and its click.
    virtual QRegion EntryRegion() const { return QRegion(); }
    virtual void OnEntryRegionClick() {}
    // Shown on the quit button (the menu shows its own).
    virtual QString QuitButtonIcon() const { return QStringLiteral("IDI_QUITVIEW"); }
    virtual int QuitButtonTip() const { return 31873; }

    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dragLeaveEvent(QDragLeaveEvent* e) override;

    void SetHovered(int area) { m_nHovered = area; }
    void ApplyHandCursor();

    int m_nViewKind = VIEW_DEFAULT;
    int m_bClosing = 1;
    StatusBlock m_status;
    QString m_strOperatorName;

private:
    void LoadTemplate();
    void BindHandButtons();
    bool LoadBackgroundPicture();
    void DrawIndicators(QPainter& p);
    void DrawIcon(QPainter& p, const char* section, int dx, int dy, int iconId);
    void DrawText(QPainter& p, const char* section, int dx, int dy, int stringId, bool grey);
    void RepaintRegion(const char* section, int rx, int ry, int rw, int rh, int dx, int dy,
                       bool text);
    // A status indicator's new value, kept and traced (`trace` leads the
    // value); its region, when it has one, drawn again.
    void SetIndicator(int StatusBlock::*field, int value, const char* trace,
                      const IndicatorDefaults* region = nullptr, bool text = false);
    void UpdateMessageTray();
    void UpdateBatteryTray();
    QRect IndicatorRect(const char* section, int rx, int ry, int rw, int rh, int dx, int dy,
                        bool text) const;

    int m_templateId;
    bool m_bHasTemplate = false;
    bool m_bDestroyed = false;
    bool m_bNetworkGrey = true;
    int m_nHovered = 0;
    bool m_bHandShown = false;
    std::string m_strPictureIni;
    QRegion m_rgnMessage, m_rgnNetwork;
    std::optional<QCursor> m_hand;
    CHandButton* m_pRefresh = nullptr;
    CHandButton* m_pQuit = nullptr;
    QWidget* m_pHeader = nullptr;
    QMenu* m_pWindowMenu = nullptr;
    std::unique_ptr<CDib> m_pDib;
    std::unique_ptr<CDibPalette> m_pPalette;
    std::unique_ptr<CTrayIcon> m_pBatteryTray, m_pMessageTray;
    CEntryDropSource m_dropSource;
    QPointer<QWidget> m_pProgress;
};

// The shut-down of the program's work when the closing screen goes (the
// engine stop and the end of the loop); installed by the application.
void SetViewShutdownHandler(void (*handler)());
