// Where the keyboard focus was when a long piece of work began, given back
// when it ends. A progress window disables its owner, and a disabled window
// keeps no focus: without this, the window's first control in the Tab order
// (the header picture, whose Space opens the window's menu) would take it
// when the window is enabled again.
#pragma once

#include <QPointer>
#include <QWidget>

class CFocusKeeper {
public:
    // Records the focus of `within`'s window (of the whole program when
    // null). A window that is not active still remembers its focus (a
    // dialog that just closed has not yet given the activation back), so
    // that is what is recorded then.
    explicit CFocusKeeper(QWidget* within = nullptr) { Record(within); }
    void Record(QWidget* within);
    void Clear() { m_pFocus = nullptr; }

    // The focus goes back to the recorded control when it is still shown
    // and enabled; in a window that is not active, it takes the focus when
    // the window is activated again.
    void Restore();
    QWidget* Widget() const { return m_pFocus; }

private:
    QPointer<QWidget> m_pFocus;
};
