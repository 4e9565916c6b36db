// The keyboard in every dialog of the program, as a person uses it: Tab
// walks the controls in reading order (left to right, top to bottom, a
// column at a time), and Enter in a field presses the dialog's default
// button, never another one.
#include "dialog.h"
#include "langbundle.h"

#include "tab_walk.h"
#include "ui_test_util.h"
#include "walkthrough.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// The dialog templates of the built language bundle (screens are forms, not
// dialogs: they are reached through the picture menu and have no Enter).
QList<int> DialogTemplates()
{
    QList<int> ids;
    CLanguageBundle* bundle = GetResourceModule();
    for (int id = 1; bundle && id < 1000; ++id) {
        QFile f(bundle->TemplatePath(id));
        if (f.open(QIODevice::ReadOnly) && f.readAll().contains("<widget class=\"QDialog\""))
            ids << id;
    }
    return ids;
}

QString Name(QWidget* w, QWidget* root) { return zorqtest::TabName(w, root); }

TEST(DialogKeys, TabWalksInReadingOrderAndEnterPressesTheDefaultButton)
{
    uitest::RecordingUi ui;
    const QList<int> ids = DialogTemplates();
    ASSERT_GT(ids.size(), 25);
    int withDefault = 0;
    for (int id : ids) {
        CDialog dlg(id);
        ASSERT_TRUE(dlg.CreateFromTemplate()) << id;
        dlg.show();
        dlg.activateWindow();
        QApplication::processEvents();
        const zorqtest::TabWalk walk = zorqtest::WalkTab(&dlg);
        const QList<QWidget*>& reachable = walk.reachable;
        if (reachable.isEmpty())
            continue;  // a window with nothing to press (a wait text)
        ASSERT_NE(walk.first, nullptr) << id;
        const std::string order = walk.order.toStdString();
        EXPECT_TRUE(walk.cameRound) << id << ": Tab never came round: " << order;
        EXPECT_EQ(walk.seen.size(), reachable.size()) << id << ": Tab skips controls: " << order;
        EXPECT_LE(walk.backwards, 1) << id << ": Tab jumps back: " << order;

        // Enter in the first one-line field, else in the first control that
        // is neither a button (which presses itself) nor a multi-line text
        // (which takes the line break).
        QPushButton* def = dlg.DefaultButton();
        if (!def)
            continue;
        ++withDefault;
        dlg.show();
        QApplication::processEvents();
        QWidget* field = nullptr;
        for (QWidget* w : reachable)
            if (qobject_cast<QLineEdit*>(w) && !field)
                field = w;
        for (QWidget* w : reachable)
            if (!field && !qobject_cast<QPushButton*>(w) && !qobject_cast<QPlainTextEdit*>(w) &&
                !qobject_cast<QTextEdit*>(w))
                field = w;
        (field ? field : def)->setFocus(Qt::TabFocusReason);
        QList<QSignalSpy*> spies;
        for (QPushButton* b : dlg.findChildren<QPushButton*>())
            spies << new QSignalSpy(b, &QAbstractButton::clicked);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        const auto buttons = dlg.findChildren<QPushButton*>();
        for (int i = 0; i < buttons.size(); ++i) {
            const int expected = buttons[i] == def ? 1 : 0;
            EXPECT_EQ(spies[i]->count(), expected)
                << id << ": Enter in " << Name(QApplication::focusWidget() ? QApplication::focusWidget() : &dlg, &dlg).toStdString()
                << (expected ? " did not press " : " pressed ") << Name(buttons[i], &dlg).toStdString();
        }
        qDeleteAll(spies);
    }
    EXPECT_GT(withDefault, 20);
}

}  // namespace

// Every dialog template as the bundle lays it out, before the program fills
// anything in: its captions, headings and title show whole (the dialogs'
// changing texts are walked through by their own tests, in each mode).
TEST(DialogTemplatesWalk, EveryTemplateShowsItsCaptionsAndTitleWhole)
{
    uitest::RecordingUi ui;
    const QList<int> ids = DialogTemplates();
    ASSERT_GT(ids.size(), 25);
    for (int id : ids) {
        CDialog dlg(id);
        ASSERT_TRUE(dlg.CreateFromTemplate()) << id;
        dlg.show();
        QApplication::processEvents();
        QStringList cut = zorqtest::ClippedTexts(&dlg) + zorqtest::ClippedColumns(&dlg);
        if (const QString title = zorqtest::ClippedTitle(&dlg); !title.isEmpty())
            cut << title;
        EXPECT_TRUE(cut.isEmpty()) << id << ": " << cut.join("; ").toStdString();
    }
}
