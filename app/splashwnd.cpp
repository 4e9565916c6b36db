#include "splashwnd.h"

#include "dialog.h"
#include "utilities.h"
#include "zorqapp.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace {
bool g_enabled = false;
CSplashWnd* g_splash = nullptr;
}  // namespace

void CSplashWnd::EnableSplash(bool enable) { g_enabled = enable; }

CSplashWnd* CSplashWnd::Current() { return g_splash; }

CSplashWnd::CSplashWnd(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

void CSplashWnd::ShowSplash(QWidget* parent)
{
    if (!g_enabled || g_splash)
        return;
    auto* splash = new CSplashWnd(parent);
    if (!splash->CreateSplash()) {
        delete splash;
        return;
    }
    g_splash = splash;
    if (CZorqMMIApp* app = CZorqMMIApp::Instance())
        app->m_pSplashWnd = splash;
    splash->show();
    splash->repaint();
}

bool CSplashWnd::CreateSplash()
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    if (app) {
        QFile file(QString::fromStdString(app->GetResDir() + "SPLASH.BMP"));
        auto dib = std::make_unique<CDib>();
        auto palette = std::make_unique<CDibPalette>();
        int w = 0, h = 0;
        // A picture without a colour table (true colour) is not used.
        if (file.open(QIODevice::ReadOnly) && dib->ReadFile(file, &w, &h) && palette->Create(*dib)) {
            m_pDib = std::move(dib);
            m_pPalette = std::move(palette);
            resize(w ? w : 283, h ? h : 472);
        }
    }
    if (!m_pDib) {
        m_bitmap = LoadAppBitmap(102);
        if (m_bitmap.isNull())
            return false;
        resize(m_bitmap.size());
    }
    const QWidget* owner = parentWidget();
    QRect area = owner && owner->isVisible() ? owner->frameGeometry() : QRect();
    if (!area.isValid() && QGuiApplication::primaryScreen())
        area = QGuiApplication::primaryScreen()->availableGeometry();
    if (area.isValid())
        move(area.center() - rect().center());
    return true;
}

void CSplashWnd::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (m_pDib)
        m_pDib->Draw(p, this, 0, 0);
    else
        p.drawPixmap(0, 0, m_bitmap);
}

bool CSplashWnd::FilterSplashInput(const QEvent* event)
{
    if (!g_splash || !event)
        return false;
    // A box shown over the splash runs its own loop: the keys and clicks
    // that answer it are its own, and the splash stays until it is closed.
    if (QApplication::activeModalWidget())
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::NonClientAreaMouseButtonPress:
        HideSplash();
        return true;
    default:
        return false;
    }
}

void CSplashWnd::HideSplash()
{
    if (g_splash) {
        CSplashWnd* splash = g_splash;
        g_splash = nullptr;
        if (CZorqMMIApp* app = CZorqMMIApp::Instance())
            if (app->m_pSplashWnd == splash)
                app->m_pSplashWnd = nullptr;
        splash->hide();
        // A box shown over the splash is owned by it: the splash goes once
        // that box has been answered.
        DeleteWindowWhenNoDialogRuns(splash);
    }
    if (CZorqMMIApp* app = CZorqMMIApp::Instance()) {
        if (app->m_pMainWnd) {
            app->m_pMainWnd->show();
            app->m_pMainWnd->update();
        }
    }
}
