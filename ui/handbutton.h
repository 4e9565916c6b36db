// A push button that shows the hand cursor while the mouse is over it, and
// the loader of the program's cursor files.
#pragma once

#include <QCursor>
#include <QPushButton>
#include <QString>

#include <optional>

// Reads a cursor file (".cur": one image, PNG or 32-bit bitmap, with its
// hot spot). Nothing when the file is missing or not a cursor.
std::optional<QCursor> LoadCursorFromFile(const QString& path);

class CHandButton : public QPushButton {
    Q_OBJECT
public:
    // The cursor is "hand.cur" of the Res folder; without it the button
    // keeps the arrow.
    explicit CHandButton(QWidget* parent = nullptr);
    // Puts this button in the place of `placeholder` (same parent, name,
    // geometry, text and state) and deletes the placeholder.
    static CHandButton* ReplaceButton(QPushButton* placeholder);

    // Lets the next move over the button set the hand again.
    void ResetCursor() { m_bHandShown = false; }
    bool HasHandCursor() const { return m_hand.has_value(); }
    bool IsHandShown() const { return m_bHandShown; }

protected:
    void mouseMoveEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    // A button with a picture is the picture itself (pressed: one pixel down).
    void paintEvent(QPaintEvent* e) override;

private:
    void ShowHand();

    bool m_bHandShown = false;
    std::optional<QCursor> m_hand;
    QString m_strCursorPath;
};
