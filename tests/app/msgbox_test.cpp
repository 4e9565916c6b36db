#include "dlgmessagebox.h"
#include "escape_key.h"

#include "test_support.h"
#include "walkthrough.h"
#include "zorqapp.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

using zorqtest::BuiltBundle;
using zorqtest::CopyFile;
using zorqtest::TempProgramDir;

namespace {

// Two pictures drawn alike (a missing one is like no other).
// An icon's smallest picture as it is kept, in one image format. (Asked
// for at 16 by 16, the same icon came at 16 by 14 or 16 by 15, drawn from
// one of its sizes or scaled from another.)
QImage Picture(const QIcon& icon)
{
    const QList<QSize> sizes = icon.availableSizes();
    if (icon.isNull() || sizes.isEmpty())
        return icon.isNull() ? QImage() : icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    const QSize smallest =
        *std::min_element(sizes.begin(), sizes.end(), [](QSize a, QSize b) { return a.width() < b.width(); });
    return icon.pixmap(smallest).toImage().convertToFormat(QImage::Format_ARGB32);
}

bool SamePicture(const QIcon& a, const QIcon& b)
{
    return !a.isNull() && !b.isNull() && Picture(a) == Picture(b);
}

class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetIniProfileFile(dir_.path());
        app_.SetDataDirectories(dir_.path() + "zorqmmi");
        ASSERT_TRUE(CopyFile(BuiltBundle(), dir_.path() + "ZORQenu.rcc"));
        ASSERT_TRUE(app_.LoadResourceLibrary("enu"));
    }
    // `real` on this folder, its boxes owned by the shown main window; false
    // when its bundle does not load.
    bool ShowOverTheMainWindow(CZorqMMIApp& real)
    {
        real.SetDataDirectories(dir_.path() + "zorqmmi");
        mainWnd_.resize(600, 400);
        mainWnd_.show();
        real.m_pMainWnd = &mainWnd_;
        return real.LoadResourceLibrary("enu");
    }

    TempProgramDir dir_;
    zorqtest::RecordingApp app_;
    QWidget mainWnd_;
    QWidget splash_;
};

TEST_F(MessageBoxTest, AppNameIsReplacedOnEveryPath)
{
    app_.m_pMainWnd = &mainWnd_;
    EXPECT_EQ(app_.DoMessageBox("[APP_NAME] says hi", MB_OK, 0), 1);
    EXPECT_EQ(app_.DoMessageBox("Leave [APP_NAME]?", MB_YESNO | MB_ICONQUESTION, 0), 1);
    splash_.show();
    app_.m_pSplashWnd = &splash_;
    app_.DoMessageBox("[APP_NAME] over the splash", MB_OK, 0);
    ASSERT_EQ(app_.shown.size(), 3u);
    EXPECT_FALSE(app_.shown[0].system);
    EXPECT_EQ(app_.shown[0].text, QStringLiteral("\r\nPellard Tarvel Data says hi"));
    EXPECT_EQ(app_.shown[1].text, QStringLiteral("Leave Pellard Tarvel Data?"));
    EXPECT_EQ(app_.shown[2].text, QStringLiteral("Pellard Tarvel Data over the splash"));
    EXPECT_EQ(app_.shown[2].owner, &splash_);
}

TEST_F(MessageBoxTest, QuestionOverTheSplashGetsTheExclamationIcon)
{
    app_.m_pMainWnd = &mainWnd_;
    splash_.show();
    app_.m_pSplashWnd = &splash_;
    app_.systemResult = 7;
    EXPECT_EQ(app_.DoMessageBox("Go on?", MB_YESNO, 0), 7);
    app_.DoMessageBox("Go on?", MB_YESNO | MB_ICONQUESTION, 0);
    splash_.hide();
    app_.DoMessageBox("Go on?", MB_YESNO, 0);
    ASSERT_EQ(app_.shown.size(), 3u);
    EXPECT_EQ(app_.shown[0].type, 0x34u);
    EXPECT_EQ(app_.shown[1].type, unsigned(MB_YESNO | MB_ICONQUESTION));  // only plain Yes/No changes
    EXPECT_EQ(app_.shown[2].type, unsigned(MB_YESNO));
    EXPECT_EQ(app_.shown[2].owner, &mainWnd_);
}

TEST_F(MessageBoxTest, ShortMessagesStartOneLineLower)
{
    app_.m_pMainWnd = &mainWnd_;
    const QString hundred(100, QLatin1Char('a'));
    const QString hundredOne(101, QLatin1Char('b'));
    app_.DoMessageBox(hundred, MB_OK, 0);
    app_.DoMessageBox(hundredOne, MB_OK, 0);
    ASSERT_EQ(app_.shown.size(), 2u);
    EXPECT_EQ(app_.shown[0].text, QStringLiteral("\r\n") + hundred);
    EXPECT_EQ(app_.shown[1].text, hundredOne);
    EXPECT_EQ(app_.beeps, 2);
}

TEST_F(MessageBoxTest, ProgramFolderIsShortenedWhenLong)
{
    CDlgMessageBox dlg;
    dlg.m_strFolder = QStringLiteral("/home/someone/zorqmmi/");  // 22 characters
    dlg.ComposeText(QStringLiteral("Cap"), QStringLiteral("File /home/someone/zorqmmi/Work/a.mdb is bad"));
    EXPECT_EQ(dlg.m_strText, QStringLiteral("\r\nFile ...Work/a.mdb is bad"));
    EXPECT_EQ(dlg.m_strCaption, QStringLiteral("Cap"));
    CDlgMessageBox shortFolder;
    shortFolder.m_strFolder = QStringLiteral("/opt/zorq/");
    shortFolder.ComposeText(QStringLiteral("Cap"), QStringLiteral("/opt/zorq/x"));
    EXPECT_EQ(shortFolder.m_strText, QStringLiteral("\r\n/opt/zorq/x"));
    // Through the application the folder is its own program folder.
    app_.m_pMainWnd = &mainWnd_;
    app_.DoMessageBox(QString::fromStdString("Bad: " + dir_.path() + "Work/x"), MB_OK, 0);
    ASSERT_EQ(app_.shown.size(), 1u);
    EXPECT_EQ(app_.shown[0].text, QStringLiteral("\r\nBad: ...Work/x"));
}

TEST_F(MessageBoxTest, BeforeTheMainWindowTheSystemBoxIsUsed)
{
    EXPECT_EQ(app_.DoMessageBox("Early", MB_OK, 0), 1);
    ASSERT_EQ(app_.shown.size(), 1u);
    EXPECT_TRUE(app_.shown[0].system);
    EXPECT_EQ(app_.shown[0].text, QStringLiteral("Early"));
    EXPECT_EQ(app_.beeps, 0);
}

TEST_F(MessageBoxTest, WithoutTheDialogTemplateTheTextGoesToTheSystemBox)
{
    // A dialog whose template the bundle lacks is not shown at all.
    CDialog missing(9999);
    EXPECT_EQ(missing.DoModal(), -1);

    app_.m_pMainWnd = &mainWnd_;
    app_.dialogResult = -1;
    app_.systemResult = 1;
    EXPECT_EQ(app_.DoMessageBox("Saved.", MB_OK, 0), 1);
    ASSERT_EQ(app_.shown.size(), 2u);
    EXPECT_FALSE(app_.shown[0].system);
    EXPECT_TRUE(app_.shown[1].system);
    EXPECT_EQ(app_.shown[1].text, QStringLiteral("Saved."));
}

TEST_F(MessageBoxTest, StringIdsComeFromTheBundle)
{
    app_.ShowMessageBox(31457);
    ASSERT_EQ(app_.shown.size(), 1u);
    EXPECT_TRUE(app_.shown[0].text.contains(QStringLiteral("Pellard Tarvel Data")));
    EXPECT_FALSE(app_.shown[0].text.contains(QStringLiteral("[APP_NAME]")));
}

TEST_F(MessageBoxTest, DialogShowsTheTextAndEscapeStillGivesOk)
{
    CDlgMessageBox dlg;
    dlg.ComposeText(QStringLiteral("Pellard Tarvel Data"), QStringLiteral("Saved."));
    bool sawText = false;
    bool timerRunning = false;
    QTimer::singleShot(50, [&] {
        // The short text's line break is left to the label's centring. A
        // plain message names no kind: no symbol beside the text, whatever
        // the message says (an error looks no friendlier than it is).
        auto* label = qobject_cast<QLabel*>(dlg.GetDlgItem(166));
        bool symbol = false;
        for (QLabel* l : dlg.findChildren<QLabel*>())
            symbol = symbol || (l->isVisible() && !l->pixmap().isNull());
        sawText = label && label->text() == QStringLiteral("Saved.") && !symbol && dlg.height() < 140;
        zorqtest::SaveScreen(&dlg, QStringLiteral("message_box"));
        timerRunning = dlg.HasTimer(2);
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&dlg, &esc);
    });
    // DoMessageBox answers 1 whatever closed the dialog; the dialog itself
    // reports Cancel for Escape.
    const int closedWith = dlg.DoModal();
    EXPECT_EQ(closedWith, IDCANCEL);
    EXPECT_TRUE(sawText);
    EXPECT_TRUE(timerRunning);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Pellard Tarvel Data"));
    ASSERT_NE(dlg.m_btnOK, nullptr);
    EXPECT_FALSE(dlg.m_btnOK->icon().isNull()) << "the OK picture of every box";
    EXPECT_EQ(dlg.m_strText, QStringLiteral("\r\nSaved."));

    CDlgMessageBox viaOk;
    viaOk.ComposeText(QStringLiteral("T"), QStringLiteral("x"));
    QTimer::singleShot(50, [&] { viaOk.m_btnOK->click(); });
    EXPECT_EQ(viaOk.DoModal(), IDOK);
    EXPECT_FALSE(viaOk.HasTimer(2));
}

// The real application path: the dialog runs and Escape still returns 1.
class ShowingApp : public CZorqMMIApp {
protected:
    void MessageBeep() override {}
};

TEST_F(MessageBoxTest, DoMessageBoxReturnsOneWhenEscapeClosesTheDialog)
{
    ShowingApp real;
    real.SetDataDirectories(dir_.path() + "zorqmmi");
    ASSERT_TRUE(real.LoadResourceLibrary("enu"));
    real.m_pMainWnd = &mainWnd_;
    QTimer::singleShot(50, [] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w)
            return;
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(w, &esc);
    });
    EXPECT_EQ(real.DoMessageBox("Done.", MB_OK, 0), 1);
}

// Escape pressed where the focus is, in the program's own box and in the
// questions that have a Cancel button: the box closes with Cancel's answer
// (1 for the program's box) and no window stays.
TEST_F(MessageBoxTest, EscapeClosesEveryBoxWithCancelsAnswer)
{
    ShowingApp real;
    real.SetDataDirectories(dir_.path() + "zorqmmi");
    ASSERT_TRUE(real.LoadResourceLibrary("enu"));
    mainWnd_.show();
    real.m_pMainWnd = &mainWnd_;
    const struct {
        unsigned type;
        int expected;
    } boxes[] = {{MB_OK, 1}, {MB_OKCANCEL | MB_ICONQUESTION, IDCANCEL}, {MB_YESNOCANCEL | MB_ICONQUESTION, IDCANCEL}};
    for (const auto& b : boxes) {
        const auto before = zorqtest::ShownWindows();
        auto escape = zorqtest::EscapeNextModal();
        EXPECT_EQ(real.DoMessageBox("Leave now?", b.type, 0), b.expected) << b.type;
        EXPECT_TRUE(escape->pressed) << b.type;
        EXPECT_FALSE(escape->leftOpen) << b.type;
        EXPECT_EQ(zorqtest::WindowsLeftBeyond(before), 0) << b.type;
    }
}

}  // namespace

// Notices have one layout, the program's own box and the desktop's alike,
// with or without a symbol, before the main window or over it: the text
// above, OK under it at the right, as in every question.
TEST_F(MessageBoxTest, EveryNoticeShowsItsOkUnderTheTextAtTheRight)
{
    ShowingApp real;
    real.SetDataDirectories(dir_.path() + "zorqmmi");
    ASSERT_TRUE(real.LoadResourceLibrary("enu"));
    mainWnd_.resize(600, 400);
    mainWnd_.show();
    const struct {
        const char* what;
        unsigned type;
        bool overMainWindow;
    } notices[] = {
        {"the program's own", MB_OK, true},
        {"with a symbol", MB_OK | MB_ICONEXCLAMATION, true},
        {"before the main window", MB_OK, false},
    };
    for (const auto& n : notices) {
        SCOPED_TRACE(n.what);
        real.m_pMainWnd = n.overMainWindow ? &mainWnd_ : nullptr;
        int okRightGap = -1, okLeftGap = -1;
        bool underText = false;
        QTimer::singleShot(50, [&] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box)
                return;
            QPushButton* ok = nullptr;
            for (QPushButton* b : box->findChildren<QPushButton*>())
                if (b->isVisible())
                    ok = b;
            QLabel* text = nullptr;
            for (QLabel* l : box->findChildren<QLabel*>())
                if (l->isVisible() && l->text().contains(QStringLiteral("phone")))
                    text = l;
            if (ok && text) {
                const QRect at(ok->mapTo(box, QPoint(0, 0)), ok->size());
                okRightGap = box->width() - 1 - at.right();
                okLeftGap = at.left();
                underText = at.top() > text->mapTo(box, QPoint(0, text->height() - 1)).y();
            }
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(box, &esc);
        });
        real.DoMessageBox("The phone does not answer.", n.type, 0);
        EXPECT_GE(okRightGap, 0);
        EXPECT_LT(okRightGap, 24) << "OK at the right edge";
        EXPECT_GT(okLeftGap, okRightGap) << "not centred, not at the left";
        EXPECT_TRUE(underText);
    }
}

// A notice is as wide wherever it shows, before the main window (the
// desktop's box, with the whole path) and over it (the program's own, with
// the program folder shortened); every box leaves its title room beside the
// title bar's buttons, however short its text.
TEST_F(MessageBoxTest, ANoticeHasOneWidthWhereverItShowsAndRoomForItsTitle)
{
    ShowingApp real;
    real.SetDataDirectories(dir_.path() + "zorqmmi");
    ASSERT_TRUE(real.LoadResourceLibrary("enu"));
    mainWnd_.resize(600, 400);
    mainWnd_.show();
    struct Seen {
        int width = 0;
        QString title;
        QString text;
    };
    // Shows the box, and once it stands reads it and closes it with Escape.
    auto show = [&](bool overMainWindow, const QString& text, unsigned type) {
        real.m_pMainWnd = overMainWindow ? &mainWnd_ : nullptr;
        Seen seen;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box || !box->isVisible())
                return;
            poll.stop();
            seen.width = box->width();
            seen.title = box->windowTitle();
            for (QLabel* l : box->findChildren<QLabel*>())
                if (l->isVisible() && !l->text().isEmpty())
                    seen.text = l->text();
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(box, &esc);
        });
        poll.start(10);
        real.DoMessageBox(text, type, 0);
        return seen;
    };
    const QString notice = QString::fromStdString("The database " + dir_.path() +
                                                  "Database/PhoneBook.mdb could not be read; the one in " +
                                                  dir_.path() + "Work is used in its place.");
    const Seen early = show(false, notice, MB_OK);
    const Seen later = show(true, notice, MB_OK);
    ASSERT_GT(early.width, 0);
    EXPECT_EQ(early.width, later.width);
    EXPECT_TRUE(early.text.contains(QString::fromStdString(dir_.path()))) << early.text.toStdString();
    EXPECT_FALSE(later.text.contains(QString::fromStdString(dir_.path()))) << later.text.toStdString();

    // The title beside an icon and three buttons of the title bar, in a
    // face a little bolder than the text's.
    const Seen shortOnes[] = {show(false, "Saved.", MB_OK), show(true, "Saved.", MB_OK),
                              show(true, "Delete it?", MB_YESNO | MB_ICONQUESTION)};
    for (const Seen& seen : shortOnes) {
        SCOPED_TRACE(seen.text.toStdString());
        ASSERT_EQ(seen.title, QStringLiteral("Pellard Tarvel Data"));
        EXPECT_GE(seen.width, QFontMetrics(QApplication::font()).horizontalAdvance(seen.title) + 120);
    }
}

// The desktop's boxes for the other kinds: the kind's symbol left of the
// text, shot for the walk-through.
TEST_F(MessageBoxTest, EachKindShowsItsSymbolLeftOfTheText)
{
    ShowingApp real;
    ASSERT_TRUE(ShowOverTheMainWindow(real));
    const struct {
        unsigned type;
        const char* shot;
        int answer;
    } kinds[] = {
        {MB_YESNO | MB_ICONQUESTION, "message_box_question", IDNO},
        {MB_OK | MB_ICONEXCLAMATION, "message_box_warning", IDOK},
        {MB_OK | MB_ICONHAND, "message_box_error", IDOK},
        {MB_OKCANCEL | MB_ICONASTERISK, "message_box_information", IDCANCEL},
    };
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.shot);
        bool iconLeft = false;
        QTimer::singleShot(50, [&] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box)
                return;
            auto labels = box->findChildren<QLabel*>();
            QLabel *icon = nullptr, *text = nullptr;
            for (QLabel* l : labels) {
                if (!l->isVisible())
                    continue;
                if (!l->pixmap().isNull())
                    icon = l;
                else if (l->text().contains(QStringLiteral("phone")))
                    text = l;
            }
            iconLeft = icon && text && icon->geometry().right() < text->geometry().left();
            zorqtest::SaveScreen(box, QString::fromLatin1(k.shot));
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(box, &esc);
        });
        const int answer = real.DoMessageBox("The phone does not answer.", k.type, 0);
        EXPECT_EQ(answer, k.answer);
        EXPECT_TRUE(iconLeft);
    }
}

// One look for every box: each button of each kind, the program's own
// notice included, carries the picture of its answer, the same picture for
// the same answer in every box, whatever the desktop puts on buttons.
TEST_F(MessageBoxTest, EveryButtonOfEveryBoxCarriesThePictureOfItsAnswer)
{
    ShowingApp real;
    ASSERT_TRUE(ShowOverTheMainWindow(real));
    const struct {
        unsigned type;
        std::vector<int> answers;
    } kinds[] = {
        {MB_OK, {IDOK}},
        {MB_OK | MB_ICONEXCLAMATION, {IDOK}},
        {MB_OKCANCEL | MB_ICONQUESTION, {IDOK, IDCANCEL}},
        {MB_ABORTRETRYIGNORE | MB_ICONHAND, {IDABORT, IDRETRY, IDIGNORE}},
        {MB_YESNOCANCEL | MB_ICONQUESTION, {IDYES, IDNO, IDCANCEL}},
        {MB_YESNO | MB_ICONQUESTION, {IDYES, IDNO}},
        {MB_RETRYCANCEL | MB_ICONEXCLAMATION, {IDRETRY, IDCANCEL}},
    };
    const std::map<QMessageBox::StandardButton, int> answerOf = {
        {QMessageBox::Ok, IDOK},       {QMessageBox::Cancel, IDCANCEL}, {QMessageBox::Abort, IDABORT},
        {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}, {QMessageBox::Yes, IDYES},
        {QMessageBox::No, IDNO}};
    std::map<int, QIcon> seen;  // the picture each answer had in the first box that showed it
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.type);
        std::vector<int> pictured;
        QTimer::singleShot(50, [&] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box)
                return;
            for (QPushButton* b : box->findChildren<QPushButton*>()) {
                if (!b->isVisible())
                    continue;
                int answer = 0;
                if (auto* system = qobject_cast<QMessageBox*>(box)) {
                    auto it = answerOf.find(system->standardButton(b));
                    answer = it == answerOf.end() ? 0 : it->second;
                } else if (auto* own = qobject_cast<CDlgMessageBox*>(box); own && b == own->m_btnOK) {
                    answer = IDOK;
                }
                ASSERT_NE(answer, 0) << b->text().toStdString();
                EXPECT_FALSE(b->icon().isNull()) << answer;
                if (!seen.count(answer))
                    seen[answer] = b->icon();
                else
                    EXPECT_TRUE(SamePicture(b->icon(), seen[answer])) << answer;
                pictured.push_back(answer);
            }
            if ((k.type & MB_TYPEMASK) == MB_ABORTRETRYIGNORE)
                zorqtest::SaveScreen(box, QStringLiteral("message_box_abort_retry_ignore"));
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(box, &esc);
        });
        real.DoMessageBox("The phone does not answer.", k.type, 0);
        std::sort(pictured.begin(), pictured.end());
        std::vector<int> expected = k.answers;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(pictured, expected);
    }
    // The answers are told apart by their pictures.
    EXPECT_FALSE(SamePicture(seen[IDOK], seen[IDCANCEL]));
    EXPECT_FALSE(SamePicture(seen[IDYES], seen[IDNO]));
    EXPECT_FALSE(SamePicture(seen[IDRETRY], seen[IDIGNORE]));
}
