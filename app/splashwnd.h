// The start-up splash: "SPLASH.BMP" of the Res folder (or the picture built
// into the program when that file is missing or unusable) until the program
// is idle or the user presses a key or a mouse button.
#pragma once

#include "dib.h"

#include <QPixmap>
#include <QWidget>

#include <memory>

class CSplashWnd : public QWidget {
    Q_OBJECT
public:
    static void EnableSplash(bool enable);
    static void ShowSplash(QWidget* parent);
    // Hides the splash on a key or button press and eats that input; true
    // when the event was eaten.
    static bool FilterSplashInput(const QEvent* event);
    static void HideSplash();
    static CSplashWnd* Current();

    // Whether the picture came from the file (else the built-in one).
    bool UsesFilePicture() const { return m_pDib != nullptr; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    explicit CSplashWnd(QWidget* parent);
    bool CreateSplash();

    QPixmap m_bitmap;
    std::unique_ptr<CDib> m_pDib;
    std::unique_ptr<CDibPalette> m_pPalette;
};
