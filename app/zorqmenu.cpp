#include "zorqmenu.h"

#include "uitext.h"

#include "debugtrace.h"
#include "handbutton.h"
#include "utilities.h"
#include "viewframe.h"
#include "zorqapp.h"

#include "zorqmmidoc.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>

namespace {
struct MenuDefaults {
    const char* section;
    int ulx, uly, lrx, lry;
};
constexpr MenuDefaults kMenus[6] = {
    {"Menu1", 3, 29, 81, 57},   {"Menu2", 3, 65, 81, 93},   {"Menu3", 3, 101, 81, 129},
    {"Menu4", 3, 138, 81, 166}, {"Menu5", 3, 174, 81, 202}, {"Menu6", 3, 211, 81, 239},
};
// A menu picture for the keyboard. The mouse goes through it to the menu,
// which tests its click regions as before.
class PictureKeyArea : public CPictureFocusArea {
public:
    PictureKeyArea(CZorqMenu* menu, int picture) : CPictureFocusArea(menu, 3, -1), m_menu(menu), m_picture(picture)
    {
        setObjectName(QStringLiteral("menuPicture%1").arg(picture));
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        switch (e->key()) {
        case Qt::Key_Return: case Qt::Key_Enter: case Qt::Key_Space:
            m_menu->ActivatePicture(m_picture);
            return;
        case Qt::Key_Up: case Qt::Key_Left:
            m_menu->PictureKey(m_picture == 1 ? 6 : m_picture - 1)->setFocus(Qt::TabFocusReason);
            return;
        case Qt::Key_Down: case Qt::Key_Right:
            m_menu->PictureKey(m_picture == 6 ? 1 : m_picture + 1)->setFocus(Qt::TabFocusReason);
            return;
        default:
            QWidget::keyPressEvent(e);
        }
    }

private:
    CZorqMenu* m_menu;
    int m_picture;
};

}  // namespace

CZorqMenu::CZorqMenu(QWidget* parent) : CMainView(kTemplateId, parent)
{
    m_bClosing = 1;
    m_nViewKind = VIEW_MENU;
}

int CZorqMenu::TitleStringOf(int picture)
{
    switch (picture) {
    case 1: return 31204;
    case 2: return 31205;
    case 3: return 31641;
    case 4: return 31854;
    case 5: return 31207;
    default: return 0;
    }
}

void CZorqMenu::OnInitialUpdate()
{
    CMainView::OnInitialUpdate();
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    for (int i = 0; i < 6; ++i) {
        const MenuDefaults& d = kMenus[i];
        m_rgnMenu[i] = ReadClickRegion(d.section, d.ulx, d.uly, d.lrx, d.lry);
        if (!m_pKeys[i])
            m_pKeys[i] = new PictureKeyArea(this, i + 1);
        m_pKeys[i]->setGeometry(m_rgnMenu[i].boundingRect());
        if (app)
            m_pKeys[i]->setAccessibleName(app->LoadString(i < 5 ? TitleStringOf(i + 1) : 31240));
        m_pKeys[i]->show();
    }
    // The pictures come first, top to bottom, then the hand buttons.
    for (int i = 0; i < 5; ++i)
        setTabOrder(m_pKeys[i], m_pKeys[i + 1]);
    if (RefreshButton())
        setTabOrder(m_pKeys[5], RefreshButton());
    if (CViewFrame* frame = GetViewFrame()) {
        QString title = QString::fromLatin1(kProductName);
        if (gv_bDebug)
            title += QStringLiteral(" (Debug Mode)");
        frame->SetFrameTitle(title);
    }
}

void CZorqMenu::OnQuitView()
{
    // The frame asks whether to quit; only its close ends the program.
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    if (QWidget* main = app ? app->m_pMainWnd : nullptr)
        main->close();
}

void CZorqMenu::ActivatePicture(int picture)
{
    if (picture >= 1 && picture <= 5)
        OpenScreen(picture);
    else if (picture == 6)
        OnHelp();
}

void CZorqMenu::OpenScreen(int picture)
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    const QString title = app ? UiReplaceAppName(app->LoadString(TitleStringOf(picture))) : QString();
    // A screen that cannot be created leaves the menu as it was, its
    // closing flag included, so closing the program still shuts down.
    SwitchToScreen(picture, 0, title);
}

void CZorqMenu::OnLButtonDown(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers,
                              const QPoint& point)
{
    CMainView::OnLButtonDown(buttons, modifiers, point);
    if (buttons != Qt::LeftButton || modifiers != Qt::NoModifier)
        return;
    for (int picture = 1; picture <= 5; ++picture) {
        if (m_rgnMenu[picture - 1].contains(point)) {
            ActivatePicture(picture);
            return;
        }
    }
    if (m_rgnMenu[5].contains(point))
        ActivatePicture(6);
}

void CZorqMenu::OnMouseMove(const QPoint& point)
{
    SetHovered(0);
    for (int picture = 1; picture <= 6; ++picture)
        if (m_rgnMenu[picture - 1].contains(point))
            SetHovered(picture);
    CMainView::OnMouseMove(point);
}
