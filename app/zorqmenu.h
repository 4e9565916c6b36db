// The home screen: the background picture with its six menu pictures, each
// of which opens a screen (or the help). The only screen the program can be
// closed from, and the one whose end stops the phone engine.
#pragma once

#include "mainview.h"

class CZorqMenu : public CMainView {
    Q_OBJECT
public:
    // The menu's form template.
    static constexpr int kTemplateId = 101;

    explicit CZorqMenu(QWidget* parent = nullptr);

    void OnInitialUpdate() override;
    void OnQuitView() override;  // the quit button: the program's close question
    const QRegion& MenuRegion(int picture) const { return m_rgnMenu[picture - 1]; }

    // The frame title shown for the screen of menu picture 1 to 5.
    static int TitleStringOf(int picture);
    // What a click on picture 1 to 6 does: its screen, or the help.
    void ActivatePicture(int picture);
    // The keyboard's stand-in for picture 1 to 6: Tab and the arrow keys move
    // between them, Enter and Space open; it draws the focus frame.
    QWidget* PictureKey(int picture) const { return m_pKeys[picture - 1]; }

protected:
    void OnLButtonDown(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers,
                       const QPoint& point) override;
    void OnMouseMove(const QPoint& point) override;
    QString QuitButtonIcon() const override { return QStringLiteral("IDI_QUIT"); }
    int QuitButtonTip() const override { return 31872; }

private:
    void OpenScreen(int picture);

    QRegion m_rgnMenu[6];
    QWidget* m_pKeys[6] = {};
};
