// The program's single top-level window. It holds one screen at a time, hands
// the program's window messages on to that screen, keeps a fixed size
// without a menu bar, and closes only from the menu screen after a question.
#pragma once

#include "viewframe.h"

#include <QMainWindow>
#include <QPointer>

#include <cstdint>

class CMainFrame : public QMainWindow, public CViewFrame {
    Q_OBJECT
public:
    // The window's class name, by which a user may tell it apart.
    static constexpr const char* kClassName = "Pellard";
    // The question asked before the program closes.
    static constexpr int kQuitQuestion = 31419;

    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // ---- What the screens need of the frame ---------------------------------------
    QWidget* GetFrameWindow() override { return this; }
    CMainView* GetActiveView() const override;
    // Makes `view` the shown screen and the target of the re-posted
    // messages; the previous one is left alone (the switch deletes it
    // later: it is usually the sender).
    void SetActiveView(CMainView* view) override;
    void SetFrameTitle(const QString& title) override;
    // Writes the title again, with the note that the phone is the bundled
    // simulator while the program runs on it.
    void UpdateTitle();
    // The close commands of the screens other than the menu are greyed: the
    // window's close button is taken off while a close would be refused.
    void EnableCloseCommands(bool enable) override;
    void CenterFrame(const QSize& viewSize) override;
    bool CloseCommandsEnabled() const { return m_bCloseEnabled; }

    // Fixes the window to the size the screen asks for.
    void FitToView();

    // The re-posting of the program's messages (see event()). The result
    // the sender sees.
    std::intptr_t DefWindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

    // Opens the help file with the desktop's viewer.
    void OnHelp();

signals:
    // The window moved: screens with floating windows place them again.
    void frameMoved();

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    bool ActiveViewIsMenu() const;
    // Shows or takes off the close button of the window's frame.
    void ShowCloseButton(bool show);

    QPointer<CMainView> m_pActiveView;
    bool m_bCloseEnabled = true;
    QString m_strTitle;  // the screen's title, without the simulator's note
};
