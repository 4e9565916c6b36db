// The melody screen against the phone simulator.
#include "engine_fixture.h"

#include "dlgmelodyeditor.h"
#include "dlgmelodyprops.h"
#include "confirm.h"
#include "dlgprogress.h"
#include "entrylistctrl.h"
#include "filedlg.h"
#include "escape_key.h"
#include "iconmenu.h"
#include "melodyview.h"
#include "mtr_melody.h"
#include "pcplayer.h"
#include "user_actions.h"
#include "walkthrough.h"
#include "viewtest_support.h"
#include "zorqmmidoc.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

#ifdef ZORQ_HAVE_PHONESIM

namespace {

using zorqtest::ReadFile;
using zorqtest::WriteFile;

// The screen with the user's answers scripted.
class ScriptedMelodyView : public CMelodyView {
public:
    QStringList importFiles;
    QString exportPath;
    std::deque<int> answers;  // confirmation answers, in order
    std::vector<QString> questions;
    unsigned menuChoice = 0;
    std::vector<std::pair<unsigned, bool>> menuItems;  // id, enabled
    int beeps = 0;
    bool byHand = false;  // the real file dialogs and deletion question

protected:
    QStringList ChooseImportFiles() override
    {
        return byHand ? CMelodyView::ChooseImportFiles() : importFiles;
    }
    QString ChooseExportPath(bool several) override
    {
        return byHand ? CMelodyView::ChooseExportPath(several) : exportPath;
    }
    int AskDeleteMelody(const QString& name, bool allowAll) override
    {
        return byHand ? CMelodyView::AskDeleteMelody(name, allowAll) : Answer(name);
    }
    int AskMelodyQuestion(const QString& text, int, bool) override { return Answer(text); }
    unsigned TrackMenu(CIconMenu& menu) override
    {
        menuItems.clear();
        std::vector<CIconMenu*> menus = {&menu};
        for (size_t m = 0; m < menus.size(); ++m)
            for (int i = 0; i < menus[m]->ItemCount(); ++i) {
                if (CIconMenu* sub = menus[m]->GetSubMenu(i))
                    menus.push_back(sub);
                else if (const CIconMenu::Item* item = menus[m]->ItemAt(i); item && item->id)
                    menuItems.emplace_back(item->id, item->action ? item->action->isEnabled() : true);
            }
        return menuChoice;
    }
    void Beep() override { ++beeps; }

private:
    int Answer(const QString& text)
    {
        questions.push_back(text);
        if (answers.empty())
            return IDCANCEL;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
};

// Runs `act` on the next modal dialog of type T once it is shown.
template <class T>
void OnNextDialog(std::function<void(T&)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* dlg = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(*dlg);
        }
    });
    timer->start();
}

class MelodyScreen : public engine_test::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        const std::string built = zorqtest::BuiltProgramDir() + "/";
        zorqtest::CopyFile(built + "Res/melback.bmp", dir.path() + "Res/melback.bmp");
        zorqtest::CopyFile(built + "Res/backenu.INI", dir.path() + "Res/backenu.INI");
        zorqtest::CopyFile(zorqtest::BuiltBundle(), dir.path() + "ZORQenu.rcc");
        app.SetDataDirectories(dir.path() + "zorqmmi");
        app.LoadResourceLibrary("enu");
        CMainView::ResetFirstInitialUpdate();
        CPcPlayer::SetAudioOutput("file", dir.path() + "out.wav");
    }
    void TearDown() override
    {
        delete view;
        view = nullptr;
        pcdoc.reset();
        CPcPlayer::SetAudioOutput("", "");
        EngineTest::TearDown();
    }
    // The simulator, the document with the phone's melody limits, the screen
    // after its first load.
    void Open(const std::string& scenario = "")
    {
        sim = &Phone(scenario);
        pcdoc = std::make_unique<CZorqMMIDoc>();
        ASSERT_EQ(mtr_MELODY_setup(&pcdoc->GetMSParam().melody), MTR_DONE);
        pcdoc->GetMSParam().melody_available = 1;
        view = new ScriptedMelodyView;
        frame.SetActiveView(view);
        frame.show();
        view->OnInitialUpdate();
        QCoreApplication::sendPostedEvents();
        QApplication::processEvents();
    }
    std::string Melody() const { return app.GetMelodyDir(); }
    void PutPc(const std::string& file, const std::string& name, const std::string& notes, int tempo = 100)
    {
        WriteFile(Melody() + file, "NAME=" + name + "\r\nTEMPO=" + std::to_string(tempo) + "\r\n" + notes);
    }
    std::vector<std::string> MdyFiles() const
    {
        std::vector<std::string> names;
        for (const QString& f : QDir(QString::fromStdString(Melody())).entryList({"*.MDY"}, QDir::Files))
            names.push_back(f.toStdString());
        return names;
    }
    QStringList Rows(CEntryListCtrl* list) const
    {
        QStringList rows;
        for (int i = 0; i < list->GetRowCount(); ++i)
            rows << list->GetRowText(i, 0);
        return rows;
    }
    bool Enabled(int id) const { return view->GetDlgItem(id) && view->GetDlgItem(id)->isEnabled(); }
    void SelectPhone(int row)
    {
        view->PcList()->DeselectAll();
        view->PhoneList()->DeselectAll();
        view->PhoneList()->SelectRow(row);
        view->SelectPhoneList();
    }
    void SelectPc(int row)
    {
        view->PhoneList()->DeselectAll();
        view->PcList()->DeselectAll();
        view->PcList()->SelectRow(row);
        view->SelectPcList();
    }
    std::vector<std::string> Boxes() const
    {
        std::vector<std::string> out;
        for (const auto& s : app.shown)
            out.push_back(s.text.toStdString());
        return out;
    }

    zorqtest::TempProgramDir dir;
    zorqtest::RecordingApp app;
    zorqtest::TestFrame frame;
    std::unique_ptr<CZorqMMIDoc> pcdoc;
    ScriptedMelodyView* view = nullptr;
    phonesim::Process* sim = nullptr;
};

TEST_F(MelodyScreen, ReadsBothListsAndCopiesToThePc)
{
    PutPc("a.MDY", "waltz", "C4 c100\r\nE4 c100\r\n");
    Open();
    EXPECT_EQ(Rows(view->PhoneList()), QStringList{"Scale"});
    EXPECT_EQ(Rows(view->PcList()), QStringList{"Waltz"});
    EXPECT_EQ(view->PhoneMelodies().GetMelodyAt(0)->GetPhoneIndex(), 1);
    EXPECT_TRUE(Enabled(1086));
    EXPECT_TRUE(Enabled(1032));
    EXPECT_FALSE(Enabled(1071));

    SelectPhone(0);
    EXPECT_TRUE(Enabled(1068));
    EXPECT_TRUE(Enabled(1072));
    EXPECT_TRUE(Enabled(1074));
    EXPECT_FALSE(Enabled(1027));
    view->OnBCopyToPc();
    EXPECT_EQ(Rows(view->PcList()), (QStringList{"Scale", "Waltz"}));
    ASSERT_EQ(MdyFiles().size(), 2u);
    CMelody copy;
    ASSERT_TRUE(copy.Load(view->PcMelodies().GetMelodyAt(0)->GetFilePath()));
    EXPECT_EQ(copy.MakeNotesString(-1), "C4 c250 D4 c250 E4 c250 F4 c250");
    EXPECT_EQ(copy.GetTempo(), 100);

    // The same notes again: refused, nothing written.
    SelectPhone(0);
    view->OnBCopyToPc();
    EXPECT_EQ(MdyFiles().size(), 2u);
    EXPECT_EQ(Boxes().back(), "Scale: this melody is in the melody folder already.");
}

TEST_F(MelodyScreen, PlaysOnThePhoneUntilStoppedOrEnded)
{
    Open();
    SelectPhone(0);
    view->OnBPlayPhone();
    EXPECT_EQ(view->PlayMode(), 1);
    EXPECT_EQ(static_cast<QPushButton*>(view->GetDlgItem(1074))->text(), "Stop");
    EXPECT_FALSE(Enabled(1068));
    EXPECT_TRUE(Enabled(1074));  // the pressed button now stops
    view->OnBPlayPhone();         // a second press stops
    EXPECT_EQ(view->PlayMode(), 0);
    EXPECT_EQ(static_cast<QPushButton*>(view->GetDlgItem(1074))->text(), "Play on phone");
    EXPECT_TRUE(Enabled(1068));

    view->OnBPlayPhone();
    ASSERT_EQ(view->PlayMode(), 1);
    // The animation steps through its pictures while the melody plays.
    auto* picture = qobject_cast<QLabel*>(view->GetDlgItem(1083));
    ASSERT_NE(picture, nullptr);
    ASSERT_GE(view->AnimationFrameCount(), 2);
    EXPECT_TRUE(view->IsAnimating());
    EXPECT_EQ(view->AnimationFrame(), 0);
    const QImage first = picture->pixmap().toImage();
    EXPECT_FALSE(first.isNull());
    EXPECT_TRUE(QTest::qWaitFor([&] { return view->AnimationFrame() != 0; }, 5000));
    EXPECT_NE(picture->pixmap().toImage(), first);
    ASSERT_EQ(sim->command("melody-ended"), "ok");
    EXPECT_TRUE(IdleUntil([&] { return view->PlayMode() == 0; }, 5000));
    EXPECT_TRUE(Enabled(1068));
    EXPECT_EQ(static_cast<QPushButton*>(view->GetDlgItem(1074))->text(), "Play on phone");
    EXPECT_FALSE(view->IsAnimating());
    EXPECT_EQ(view->AnimationFrame(), -1);
    EXPECT_TRUE(picture->pixmap().isNull());
}

TEST_F(MelodyScreen, PlaysOnThePcAndStops)
{
    PutPc("a.MDY", "Bell", "A4 c100\r\n");
    Open();
    SelectPc(0);
    view->OnBPlayPc();
    EXPECT_EQ(view->PlayMode(), 2);
    EXPECT_FALSE(Enabled(1086));
    EXPECT_TRUE(Enabled(1070));
    EXPECT_TRUE(view->IsAnimating());
    view->OnBPlayPc();  // stop
    EXPECT_EQ(view->PlayMode(), 0);
    EXPECT_FALSE(view->IsAnimating());
    EXPECT_TRUE(Enabled(1086));
    QTest::qWait(50);
    EXPECT_EQ(view->PlayMode(), 0);  // the done message after the stop changes nothing
}

TEST_F(MelodyScreen, CopiesAPcMelodyIntoAPhoneSlot)
{
    PutPc("a.MDY", "Tango", "A4 c100\r\nB4 c100\r\nC5 c100\r\nD5 c100\r\n");
    // The phone keeps 23 characters of notes: "A4 c100 B4 c100 C5 c100".
    Open("melody-slots 8 12 23\nmelody 2 Jazz 90 G4 c100 A4 c100\n");
    ASSERT_EQ(Rows(view->PhoneList()), (QStringList{"Scale", "Jazz"}));
    ASSERT_EQ(pcdoc->GetMaxNbOfNotes(), 23);
    SelectPc(0);
    view->answers = {IDYES};  // send only the first notes
    OnNextDialog<CDlgMelodyToPhone>([](CDlgMelodyToPhone& dlg) {
        qobject_cast<QComboBox*>(dlg.GetDlgItem(1076))->setCurrentIndex(1);  // Jazz, slot 2
        qobject_cast<QLineEdit*>(dlg.GetDlgItem(1078))->setText("tango");
        dlg.OnOK();
    });
    view->OnBCopyToPhone();
    ASSERT_EQ(view->questions.size(), 1u);
    EXPECT_EQ(view->questions[0].toStdString(),
              "This melody has more notes than the phone accepts. Send only the first notes?");
    EXPECT_EQ(Rows(view->PhoneList()), (QStringList{"Scale", "Tango"}));
    EXPECT_NE(sim->dump().find("melody 2 \"Tango\" 100 A4 c100 B4 c100 C5 c100\n"), std::string::npos)
        << sim->dump();
    EXPECT_NE(sim->dump().find("melody 1 \"Scale\""), std::string::npos);

    // Answering No sends nothing.
    SelectPc(0);
    view->answers = {IDNO};
    view->OnBCopyToPhone();
    EXPECT_EQ(Rows(view->PhoneList()), (QStringList{"Scale", "Tango"}));
}

// The phone keeps a melody whose notes text is at most the length it gives
// at set-up (500 characters here). A melody typed longer is told in the
// editor, with the number of notes to take out, before it is saved or sent;
// what the editor lets through the phone takes.
TEST_F(MelodyScreen, TheEditorTellsAMelodyLongerThanThePhoneKeepsBeforeItGoes)
{
    Open();
    ASSERT_EQ(pcdoc->GetMaxNbOfNotes(), 500);
    std::vector<std::string> told;
    bool stayedOpen = false;
    int excess = 0;
    OnNextDialog<CDlgMelodyEditor>([&](CDlgMelodyEditor& dlg) {
        auto* name = qobject_cast<QLineEdit*>(dlg.GetDlgItem(1077));
        auto* notes = qobject_cast<QLineEdit*>(dlg.GetDlgItem(1080));
        QWidget* ok = dlg.GetDlgItem(IDOK);
        if (!name || !notes || !ok) {
            dlg.EndDialog(IDCANCEL);
            return;
        }
        QTest::keyClicks(name, "Long");
        QTest::keyClicks(notes, QString(95, QLatin1Char('c')));  // 95 notes
        QTest::mouseClick(ok, Qt::LeftButton);
        told = Boxes();
        const QString first = told.empty() ? QString() : QString::fromStdString(told.back());
        const QRegularExpressionMatch m = QRegularExpression("^There are (\\d+) notes too many\\.$").match(first);
        excess = m.hasMatch() ? m.captured(1).toInt() : 0;
        // One note fewer than told is still one too many.
        for (int i = 1; i < excess; ++i)
            QTest::keyClick(notes, Qt::Key_Backspace);
        QTest::mouseClick(ok, Qt::LeftButton);
        told = Boxes();
        stayedOpen = dlg.isVisible();
        QTest::keyClick(notes, Qt::Key_Backspace);
        QTest::mouseClick(ok, Qt::LeftButton);
        if (dlg.isVisible())
            dlg.EndDialog(IDCANCEL);
    });
    QTest::mouseClick(view->GetDlgItem(1032), Qt::LeftButton);
    ASSERT_GT(excess, 0) << "the editor let the long melody through";
    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[1], "There is one note too many.");
    ASSERT_EQ(Boxes().size(), 2u) << Boxes().back();
    ASSERT_EQ(Rows(view->PcList()), QStringList{"Long"});

    // Copied to the phone whole: it takes it, no note left out, no question.
    SelectPc(0);
    OnNextDialog<CDlgMelodyToPhone>([](CDlgMelodyToPhone& dlg) {
        if (QWidget* ok = dlg.GetDlgItem(IDOK))
            QTest::mouseClick(ok, Qt::LeftButton);
        if (dlg.isVisible())
            dlg.EndDialog(IDCANCEL);
    });
    QTest::mouseClick(view->GetDlgItem(1069), Qt::LeftButton);
    EXPECT_TRUE(view->questions.empty());
    EXPECT_EQ(Boxes().size(), 2u) << Boxes().back();
    const std::string held = engine_test::dump_lines(*sim, "melody 1 ");
    EXPECT_NE(held.find("\"Long\""), std::string::npos) << held;
    int notesHeld = 0;
    for (size_t at = held.find(" c"); at != std::string::npos; at = held.find(" c", at + 1))
        ++notesHeld;
    EXPECT_EQ(notesHeld, 95 - excess + 2) << held;  // with the two closing pauses
}

TEST_F(MelodyScreen, RenamesAPhoneMelodyInPlace)
{
    Open();
    EXPECT_FALSE(view->UpgradeMelody(0, "scale"));  // its own name
    EXPECT_TRUE(view->UpgradeMelody(0, "ladder"));
    EXPECT_EQ(Rows(view->PhoneList()), QStringList{"Ladder"});
    EXPECT_NE(sim->dump().find("melody 1 \"Ladder\" 100 C4 c250 D4 c250 E4 c250 F4 c250"), std::string::npos)
        << sim->dump();
    // Through the list's own editing.
    SelectPhone(0);
    view->OnBRename();
    QLineEdit* edit = view->PhoneList()->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    edit->setText("Steps");
    QTest::keyClick(edit, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(view->PhoneMelodies().GetMelodyAt(0)->GetMelodyName(), "Steps");
    EXPECT_NE(sim->dump().find("melody 1 \"Steps\""), std::string::npos);
}

TEST_F(MelodyScreen, AFailedPhoneWriteKeepsTheOldValues)
{
    Open("melody 2 Long 100 C4 c250\n");
    ASSERT_EQ(Rows(view->PhoneList()), (QStringList{"Scale", "Long"}));
    std::string many;
    for (int i = 0; i < 300; ++i)
        many += " C4 c250";  // more than one write request can carry
    ASSERT_TRUE(view->PhoneMelodies().GetMelodyAt(1)->AnalyseNote(many));
    pcdoc->GetMSParam().melody.notes_max = 1000;
    SelectPhone(1);
    OnNextDialog<CDlgMelodyProperty>([](CDlgMelodyProperty& dlg) {
        qobject_cast<QLineEdit*>(dlg.GetDlgItem(1074))->setText("Longer");
        qobject_cast<QLineEdit*>(dlg.GetDlgItem(1075))->setText("200");
        dlg.OnOK();
    });
    view->OnBProperty();
    EXPECT_EQ(Boxes().back(), "The melody could not be changed.");
    CMelody* m = view->PhoneMelodies().GetMelodyAt(1);
    EXPECT_EQ(m->GetMelodyName(), "Long");
    EXPECT_EQ(m->GetTempo(), 100);
    EXPECT_FALSE(view->UpgradeMelody(1, "Other"));
    EXPECT_EQ(m->GetMelodyName(), "Long");
}

TEST_F(MelodyScreen, ImportsExportsAndDeletesPcMelodies)
{
    Open();
    const std::string outside = dir.path() + "Files/";
    WriteFile(outside + "one.MDY", "NAME=One\r\nTEMPO=100\r\nA4 c100\r\n");
    WriteFile(outside + "two.MDY", "NAME=Two\r\nTEMPO=100\r\nB4 c100\r\n");
    WriteFile(outside + "bad.MDY", "not a melody\r\n");
    view->importFiles = {QString::fromStdString(outside + "one.MDY"), QString::fromStdString(outside + "two.MDY"),
                         QString::fromStdString(outside + "bad.MDY")};
    view->OnBImport();
    EXPECT_EQ(Rows(view->PcList()), (QStringList{"One", "Two"}));
    EXPECT_EQ(MdyFiles().size(), 2u);
    EXPECT_EQ(Boxes().back(), "The file bad.MDY does not hold a melody.");
    view->OnBImport();  // the same melodies again
    EXPECT_EQ(MdyFiles().size(), 2u);

    // Export both into another folder; an existing file is asked about.
    const std::string target = dir.path() + "Work/";
    WriteFile(target + "One.MDY", "old\r\n");
    view->PcList()->SelectAll();
    view->exportPath = QString::fromStdString(target + "mel.MDY");
    view->answers = {IDNO};
    view->OnBExport();
    EXPECT_EQ(ReadFile(target + "One.MDY"), "old\r\n");
    EXPECT_EQ(ReadFile(target + "Two.MDY"), "NAME=Two\r\nTEMPO=100\r\nB4 c100\r\n");
    EXPECT_EQ(view->questions.back().toStdString(), "The file One.MDY exists already. Replace it?");
    // The melody folder itself is refused.
    view->PcList()->SelectRow(0);
    view->exportPath = QString::fromStdString(Melody() + "x.MDY");
    view->OnBExport();
    EXPECT_EQ(Boxes().back(), "Please choose a folder other than the melody folder.");

    // Delete: No keeps, Yes removes the file too.
    view->PcList()->SelectAll();
    view->answers = {IDNO, IDYES};
    view->OnBDelete();
    EXPECT_EQ(Rows(view->PcList()), QStringList{"One"});
    EXPECT_EQ(MdyFiles().size(), 1u);
    EXPECT_EQ(view->PcMelodies().GetCount(), 1);
}

// The file dialogs and the deletion as a user goes through them: import
// and export open the program's file dialog in the user's home folder
// with the melody filter; the export takes only a folder and writes each
// melody there under its own name; a melody deleted with Yes shows its
// progress done for half a second.
TEST_F(MelodyScreen, ImportExportAndDeleteThroughTheirDialogs)
{
    PutPc("other.MDY", "Other", "B4 c100\r\n");
    Open();
    view->byHand = true;
    // The user goes to the folder, types the file's name and clicks the
    // dialog's accept button.
    const auto typeIn = [](QFileDialog& d, const QString& path) {
        d.setDirectory(QFileInfo(path).absolutePath());
        auto* name = d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        EXPECT_TRUE(name && name->isVisible()) << "the dialog takes a typed name";
        auto* buttons = d.findChild<QDialogButtonBox*>();
        QAbstractButton* accept = nullptr;
        for (QAbstractButton* b : buttons ? buttons->buttons() : QList<QAbstractButton*>())
            if (buttons->buttonRole(b) == QDialogButtonBox::AcceptRole)
                accept = b;
        EXPECT_NE(accept, nullptr);
        if (name && name->isVisible() && accept) {
            name->selectAll();
            QTest::keyClicks(name, QFileInfo(path).fileName());
            QTest::mouseClick(accept, Qt::LeftButton);
        }
        if (d.isVisible()) {
            ADD_FAILURE() << "the dialog did not take " << path.toStdString();
            d.reject();
        }
    };
    const QStringList filters = CQXFileDlg::NameFilters(app.LoadString(31658));
    const std::string outside = dir.path() + "Files/";
    WriteFile(outside + "tune.MDY", "NAME=Tune1\r\nTEMPO=100\r\nA4 c100\r\n");

    QString title, accept, folder;
    QStringList shownFilters;
    bool programs = false;  // the program's own file dialog
    bool several = false;   // several files may be chosen at once
    OnNextDialog<QFileDialog>([&](QFileDialog& d) {
        programs = qobject_cast<CQXFileDlg*>(&d) != nullptr;
        title = d.windowTitle();
        accept = d.labelText(QFileDialog::Accept);
        folder = d.directory().absolutePath();
        shownFilters = d.nameFilters();
        several = d.fileMode() == QFileDialog::ExistingFiles;
        zorqtest::SaveScreen(&d, QStringLiteral("melody_import_dialog"));
        typeIn(d, QString::fromStdString(outside + "tune.MDY"));
    });
    QTest::mouseClick(view->GetDlgItem(1086), Qt::LeftButton);
    EXPECT_TRUE(programs);
    EXPECT_TRUE(several);
    EXPECT_EQ(title, app.LoadString(31659));
    EXPECT_EQ(accept, app.LoadString(31698));
    EXPECT_EQ(folder, QDir::homePath());
    EXPECT_EQ(shownFilters, filters);
    EXPECT_EQ(Rows(view->PcList()), (QStringList{"Other", "Tune1"}));

    // Export: the save form hides the name field, so the user only goes to
    // a folder (one up, then a double click on the folder in the list) and
    // accepts; each melody is written there under its own name.
    bool nameHidden = false;
    const auto chooseFolder = [&nameHidden](QFileDialog& d, const QString& to, const QString& shot) {
        const QString folder = QDir::cleanPath(to);
        auto* name = d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        nameHidden = name && !name->isVisible();
        d.setDirectory(QFileInfo(folder).absolutePath());
        QAbstractItemView* files = nullptr;
        for (const char* n : {"treeView", "listView"})
            if (auto* v = d.findChild<QAbstractItemView*>(QLatin1String(n)); v && v->isVisible())
                files = v;
        ASSERT_NE(files, nullptr);
        const auto row = [&] {
            QAbstractItemModel* m = files->model();
            for (int r = 0; r < m->rowCount(files->rootIndex()); ++r) {
                const QModelIndex i = m->index(r, 0, files->rootIndex());
                if (i.data().toString() == QFileInfo(folder).fileName())
                    return i;
            }
            return QModelIndex();
        };
        QElapsedTimer waited;
        waited.start();
        while (!row().isValid() && waited.elapsed() < 10000)
            QTest::qWait(20);  // the folder is listed as it is read
        ASSERT_TRUE(row().isValid()) << folder.toStdString();
        files->scrollTo(row());
        // Press and release, then the second press the system reports as a
        // double click, and its release.
        const QPoint at = files->visualRect(row()).center();
        QTest::mouseClick(files->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(files->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseRelease(files->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        waited.restart();
        while (QDir::cleanPath(d.directory().absolutePath()) != QDir::cleanPath(folder) && waited.elapsed() < 10000)
            QTest::qWait(20);
        ASSERT_EQ(QDir::cleanPath(d.directory().absolutePath()), QDir::cleanPath(folder));
        if (!shot.isEmpty()) {
            waited.restart();
            while (files->model()->rowCount(files->rootIndex()) == 0 && waited.elapsed() < 10000)
                QTest::qWait(20);
            zorqtest::SaveScreen(&d, shot);
        }
        auto* buttons = d.findChild<QDialogButtonBox*>();
        QAbstractButton* accept = nullptr;
        for (QAbstractButton* b : buttons ? buttons->buttons() : QList<QAbstractButton*>())
            if (buttons->buttonRole(b) == QDialogButtonBox::AcceptRole)
                accept = b;
        ASSERT_NE(accept, nullptr);
        QTest::mouseClick(accept, Qt::LeftButton);
    };
    const auto answerExport = [&](const QString& to, const QString& shot) {
        OnNextDialog<QFileDialog>([&, to, shot](QFileDialog& d) {
            programs = qobject_cast<CQXFileDlg*>(&d) != nullptr;
            title = d.windowTitle();
            accept = d.labelText(QFileDialog::Accept);
            folder = d.directory().absolutePath();
            shownFilters = d.nameFilters();
            chooseFolder(d, to, shot);
            if (d.isVisible()) {
                ADD_FAILURE() << "the dialog did not take " << to.toStdString();
                d.reject();
            }
        });
    };
    const std::string target = dir.path() + "Work/";
    WriteFile(target + "Kept.MDY", "NAME=Kept\r\nTEMPO=100\r\nC4 c100\r\n");  // what the list shows
    // One melody.
    QTest::mouseClick(view->PcList()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      zorqtest::RowPoint(view->PcList(), 1));
    ASSERT_EQ(view->PcList()->GetSelectedRows(), QList<int>{1});
    ASSERT_TRUE(Enabled(1030));
    answerExport(QString::fromStdString(target), QStringLiteral("melody_export_dialog"));
    QTest::mouseClick(view->GetDlgItem(1030), Qt::LeftButton);
    EXPECT_TRUE(programs);
    EXPECT_TRUE(nameHidden) << "the save form hides the name field";
    EXPECT_EQ(title, app.LoadString(31661));
    EXPECT_EQ(accept, app.LoadString(31688));
    EXPECT_EQ(folder, QDir::homePath());
    EXPECT_EQ(shownFilters, filters);
    EXPECT_EQ(ReadFile(target + "Tune1.MDY"), "NAME=Tune1\r\nTEMPO=100\r\nA4 c100\r\n");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(target + "mel.MDY")));
    // Several: the same dialog, its other title; every melody by its name.
    const std::string other = dir.path() + "Export/";
    QDir().mkpath(QString::fromStdString(other));
    QTest::mouseClick(view->PcList()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      zorqtest::RowPoint(view->PcList(), 0));
    QTest::mouseClick(view->PcList()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      zorqtest::RowPoint(view->PcList(), 1));
    ASSERT_EQ(view->PcList()->GetSelectedCount(), 2);
    nameHidden = false;
    answerExport(QString::fromStdString(other), QString());
    QTest::mouseClick(view->GetDlgItem(1030), Qt::LeftButton);
    EXPECT_TRUE(nameHidden) << "no name field, with several melodies either";
    EXPECT_EQ(title, app.LoadString(31662));
    EXPECT_EQ(ReadFile(other + "Other.MDY"), "NAME=Other\r\nTEMPO=100\r\nB4 c100\r\n");
    EXPECT_EQ(ReadFile(other + "Tune1.MDY"), "NAME=Tune1\r\nTEMPO=100\r\nA4 c100\r\n");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(other + "mel.MDY")));

    // Both deleted, each answered Yes: each shows the progress at its end
    // for half a second.
    struct Window {
        int max = 0, last = 0;
        QElapsedTimer stood;
        qint64 ms = -1;
    };
    std::vector<std::shared_ptr<Window>> windows;
    struct ProgressWatch : QObject {
        std::vector<std::shared_ptr<Window>>* windows;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            auto* dlg = qobject_cast<CDlgProgressText*>(o);
            if (!dlg || (e->type() != QEvent::Show && e->type() != QEvent::Hide))
                return false;
            auto* bar = dlg->findChild<QProgressBar*>();
            if (e->type() == QEvent::Show && bar) {
                auto w = std::make_shared<Window>();
                w->stood.start();
                windows->push_back(w);
                connect(bar, &QProgressBar::valueChanged, dlg, [w, bar](int v) {
                    w->last = v;
                    w->max = bar->maximum();
                });
            } else if (e->type() == QEvent::Hide && !windows->empty() && windows->back()->ms < 0) {
                windows->back()->ms = windows->back()->stood.elapsed();
            }
            return false;
        }
    } watch;
    watch.windows = &windows;
    qApp->installEventFilter(&watch);
    QTest::mouseClick(view->PcList()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      zorqtest::RowPoint(view->PcList(), 0));
    QTest::mouseClick(view->PcList()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      zorqtest::RowPoint(view->PcList(), 1));
    ASSERT_EQ(view->PcList()->GetSelectedCount(), 2);
    ASSERT_TRUE(Enabled(1027));
    int questions = 0;
    std::function<void(CDlgConfirm&)> yes = [&](CDlgConfirm& d) {
        ++questions;
        if (questions < 2)
            OnNextDialog<CDlgConfirm>(yes);
        QTest::mouseClick(d.GetDlgItem(IDYES), Qt::LeftButton);
    };
    OnNextDialog<CDlgConfirm>(yes);
    QTest::mouseClick(view->GetDlgItem(1027), Qt::LeftButton);
    qApp->removeEventFilter(&watch);
    EXPECT_EQ(questions, 2);
    EXPECT_TRUE(Rows(view->PcList()).isEmpty());
    ASSERT_EQ(windows.size(), 2u) << "a progress window for each melody";
    for (const auto& w : windows) {
        EXPECT_EQ(w->max, 2);
        EXPECT_EQ(w->last, 2);
        EXPECT_GE(w->ms, 450) << "the done progress stands half a second";
    }
}

TEST_F(MelodyScreen, DraggingRowsRunsTheCommands)
{
    PutPc("a.MDY", "Bell", "A4 c100\r\n");
    PutPc("b.MDY", "Chime", "B4 c100\r\n");
    Open();
    QApplication::processEvents();
    const QPoint pcList = view->PcList()->mapToGlobal(view->PcList()->rect().center());
    const QPoint phoneList = view->PhoneList()->mapToGlobal(view->PhoneList()->rect().center());
    // A phone row dropped on the PC list copies it there.
    SelectPhone(0);
    view->BeginDrag(view->PhoneList());
    EXPECT_TRUE(view->IsDragging());
    view->DragMove(pcList);
    EXPECT_TRUE(view->IsDropAllowed());
    EXPECT_TRUE(view->EndDrag(pcList));
    EXPECT_FALSE(view->IsDragging());
    EXPECT_EQ(Rows(view->PcList()), (QStringList{"Bell", "Chime", "Scale"}));
    // Two PC rows may not go onto the phone list; anywhere else does nothing.
    view->PhoneList()->DeselectAll();
    view->PcList()->SelectRow(0);
    view->PcList()->SelectRow(1);
    view->BeginDrag(view->PcList());
    view->DragMove(phoneList);
    EXPECT_FALSE(view->IsDropAllowed());
    EXPECT_FALSE(view->EndDrag(phoneList));
    view->BeginDrag(view->PcList());
    EXPECT_FALSE(view->EndDrag(view->mapToGlobal(QPoint(5, 5))));
    // One PC row dropped on the delete button asks, then deletes.
    SelectPc(0);
    view->answers = {IDYES};
    view->BeginDrag(view->PcList());
    const QPoint trash = view->GetDlgItem(1027)->mapToGlobal(QPoint(5, 5));
    EXPECT_TRUE(view->EndDrag(trash));
    EXPECT_EQ(Rows(view->PcList()), (QStringList{"Chime", "Scale"}));
}

TEST_F(MelodyScreen, ContextMenusFollowTheSelection)
{
    PutPc("a.MDY", "Bell", "A4 c100\r\n");
    PutPc("b.MDY", "Chime", "B4 c100\r\n");
    Open();
    view->PcList()->SelectAll();
    view->menuChoice = 0;
    view->ShowContextMenu(158, true);
    auto enabled = [&](unsigned id) {
        for (auto [i, on] : view->menuItems)
            if (i == id)
                return on;
        ADD_FAILURE() << "no item " << id;
        return false;
    };
    EXPECT_FALSE(enabled(32788));
    EXPECT_FALSE(enabled(32786));
    EXPECT_TRUE(enabled(32777));
    EXPECT_TRUE(enabled(32796));
    EXPECT_FALSE(enabled(32790));
    SelectPhone(0);
    view->menuChoice = 32783;  // copy to the PC
    view->ShowContextMenu(157, false);
    EXPECT_TRUE(enabled(32784));
    EXPECT_TRUE(enabled(32789));
    EXPECT_EQ(view->PcMelodies().GetCount(), 3);
}

TEST_F(MelodyScreen, WalkThroughPictures)
{
    PutPc("a.MDY", "Bell", "A4 c100\r\n");
    PutPc("b.MDY", "Chime", "B4 c100\r\nC5 c100\r\n");
    PutPc("c.MDY", "Tango", "A4 c500\r\nM c500\r\n", 500);
    Open("melody 2 Jazz 90 G4 c100 A4 c100\nmelody 3 Sunrise 120 C5 c100 E5 c100\n");
    SelectPc(1);
    QApplication::processEvents();
    const QString folder = QStringLiteral(ZORQ_TEST_BUILD_DIR "/screens");
    QDir().mkpath(folder);
    EXPECT_TRUE(frame.grab().save(folder + "/melody.png"));

    CMelody edited;
    edited.CopyFrom(view->PcMelodies().GetMelodyAt(2));
    CDlgMelodyEditor::Limits limits;
    CDlgMelodyEditor editor(view, &edited, limits, &view->PcMelodies());
    ASSERT_TRUE(editor.CreateFromTemplate());
    editor.OnInitDialog();
    qobject_cast<QLineEdit*>(editor.GetDlgItem(1080))->setText("cdeC#+gap");
    editor.show();
    QApplication::processEvents();
    EXPECT_TRUE(editor.grab().save(folder + "/melody_editor.png"));
}

// Escape in the screen's properties and editor dialogs, pressed where the
// focus is: each goes as with Cancel, the phone and the PC folder keep their
// melodies, no window stays behind.
TEST_F(MelodyScreen, EscapeInThePropertiesAndEditorEndsThemAsCancel)
{
    Open();
    SelectPhone(0);
    auto melodies = [this] { return engine_test::dump_lines(*sim, "melody"); };
    const std::string phone = melodies();
    const auto files = MdyFiles();
    for (int button : {1071, 1032}) {
        QWidget* b = view->GetDlgItem(button);
        ASSERT_NE(b, nullptr) << button;
        ASSERT_TRUE(b->isEnabled()) << button;
        const auto before = zorqtest::ShownWindows();
        auto escape = zorqtest::EscapeNextModal();
        QTest::mouseClick(b, Qt::LeftButton);
        EXPECT_TRUE(zorqtest::WaitForEscape(escape)) << button << ": no dialog came up";
        EXPECT_FALSE(escape->leftOpen) << button << ": Escape left the window up";
        EXPECT_EQ(zorqtest::WindowsLeftBeyond(before), 0) << button;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << button;
    }
    EXPECT_EQ(melodies(), phone);
    EXPECT_EQ(MdyFiles(), files);
    EXPECT_EQ(Rows(view->PhoneList()), QStringList{"Scale"});
    EXPECT_TRUE(Boxes().empty());
}

// ---- A melody written to the phone whose answer is lost or cut --------------------------

// The phone carries the write out but its answer never comes (drop) or
// stops half-way (cut). The user hears that the phone did not answer and
// that, asked again, it holds the melody; the phone list shows what the
// phone's slots hold; the next write from the screen lands as usual.
struct SilentMelodyCase {
    const char* name;
    bool properties;  // the melody's properties changed, else a PC melody copied to the phone
    const char* fault;
};

void PrintTo(const SilentMelodyCase& c, std::ostream* os) { *os << c.name; }

class SilentMelodyChange : public MelodyScreen, public ::testing::WithParamInterface<SilentMelodyCase> {
protected:
    // The names the simulator's melody slots hold, slot by slot.
    QStringList PhoneNames() const
    {
        QStringList names;
        const std::string dump = sim->dump();
        for (size_t at = 0; (at = dump.find("\nmelody ", at)) != std::string::npos;) {
            at += 8;
            const size_t open = dump.find('"', at);
            const size_t close = dump.find('"', open + 1);
            names << QString::fromStdString(dump.substr(open + 1, close - open - 1));
        }
        return names;
    }
    void ClickButton(int id)
    {
        QWidget* button = view->GetDlgItem(id);
        ASSERT_NE(button, nullptr) << id;
        ASSERT_TRUE(button->isEnabled()) << id;
        QTest::mouseClick(button, Qt::LeftButton);
        QApplication::processEvents();
    }
    // PC melody `pcRow` copied into phone slot `slot` (1-based) as `name`.
    void CopyToPhone(int pcRow, int slot, const QString& name)
    {
        zorqtest::ClickRows(view->PcList(), {pcRow});
        QApplication::processEvents();
        OnNextDialog<CDlgMelodyToPhone>([slot, name](CDlgMelodyToPhone& dlg) {
            qobject_cast<QComboBox*>(dlg.GetDlgItem(1076))->setCurrentIndex(slot - 1);
            qobject_cast<QLineEdit*>(dlg.GetDlgItem(1078))->setText(name);
            QTest::mouseClick(dlg.GetDlgItem(IDOK), Qt::LeftButton);
        });
        ClickButton(1069);
    }
};

TEST_P(SilentMelodyChange, IsToldUnansweredAndTheListShowsWhatThePhoneHolds)
{
    const SilentMelodyCase& c = GetParam();
    PutPc("a.MDY", "Tango", "A4 c100\r\nB4 c100\r\n");
    Open("melody 2 Jazz 90 G4 c100 A4 c100\nmelody 3 Blues 80 E4 c100\n");
    ASSERT_EQ(Rows(view->PhoneList()), (QStringList{"Scale", "Jazz", "Blues"}));
    ASSERT_EQ(Rows(view->PcList()), (QStringList{"Tango"}));
    // The window active, so that a click gives its list the focus as it
    // does on a desktop.
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    ASSERT_EQ(sim->command(std::string("fault ") + c.fault + " ~MMYW"), "ok");
    QString written;
    if (c.properties) {
        written = "Swing";
        zorqtest::ClickRows(view->PhoneList(), {1});
        QApplication::processEvents();
        OnNextDialog<CDlgMelodyProperty>([](CDlgMelodyProperty& dlg) {
            qobject_cast<QLineEdit*>(dlg.GetDlgItem(1074))->setText("Swing");
            qobject_cast<QLineEdit*>(dlg.GetDlgItem(1075))->setText("120");
            QTest::mouseClick(dlg.GetDlgItem(IDOK), Qt::LeftButton);
        });
        ClickButton(1071);
    } else {
        written = "Tango";
        CopyToPhone(0, 2, "Tango");
    }
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0], "The phone did not answer while the melody \"" + written.toStdString() +
                              "\" was being written; asked again, it holds it.");
    EXPECT_EQ(PhoneNames(), (QStringList{"Scale", written, "Blues"}));
    EXPECT_EQ(Rows(view->PhoneList()), PhoneNames());
    EXPECT_EQ(view->PhoneMelodies().GetMelodyAt(1)->GetMelodyName(), written);
    if (c.properties) {
        EXPECT_NE(sim->dump().find("melody 2 \"Swing\" 120 "), std::string::npos) << sim->dump();
        EXPECT_EQ(view->PhoneMelodies().GetMelodyAt(1)->GetTempo(), 120);
    }

    // The next write, to that melody, goes out and lands, told by nothing.
    zorqtest::ClickRows(view->PhoneList(), {1});
    QApplication::processEvents();
    OnNextDialog<CDlgMelodyProperty>([](CDlgMelodyProperty& dlg) {
        qobject_cast<QLineEdit*>(dlg.GetDlgItem(1075))->setText("150");
        QTest::mouseClick(dlg.GetDlgItem(IDOK), Qt::LeftButton);
    });
    ClickButton(1071);
    EXPECT_EQ(Boxes().size(), 1u);
    EXPECT_NE(sim->dump().find("melody 2 \"" + written.toStdString() + "\" 150 "), std::string::npos) << sim->dump();
    EXPECT_EQ(view->PhoneMelodies().GetMelodyAt(1)->GetTempo(), 150);
    EXPECT_EQ(Rows(view->PhoneList()), PhoneNames());
}

INSTANTIATE_TEST_SUITE_P(, SilentMelodyChange,
                         ::testing::Values(SilentMelodyCase{"CopyToPhoneLost", false, "drop"},
                                           SilentMelodyCase{"CopyToPhoneCut", false, "cut"},
                                           SilentMelodyCase{"PropertiesLost", true, "drop"},
                                           SilentMelodyCase{"PropertiesCut", true, "cut"}),
                         [](const ::testing::TestParamInfo<SilentMelodyCase>& i) { return std::string(i.param.name); });

}  // namespace

#endif

TEST_F(MelodyScreen, ADraggedMelodyShowsItsPictureWithTheDropMark)
{
    PutPc("a.MDY", "Bell", "A4 c100\r\n");
    Open();
    QApplication::processEvents();
    SelectPhone(0);
    // The user presses on the phone row and moves away with the button down.
    CEntryListCtrl* phone = view->PhoneList();
    const QPoint at = phone->visualRect(phone->model()->index(0, 0)).center();
    QTest::mousePress(phone->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    for (int step = 1; step <= 4; ++step)
        QTest::mouseMove(phone->viewport(), at + QPoint(3 * step, 12 * step));
    ASSERT_TRUE(view->IsDragging());
    EXPECT_TRUE(view->RowDrag().Image().IsShown()) << "the row's picture follows the cursor";
    EXPECT_FALSE(view->RowDrag().IsDropShown());

    // Over the PC list the picture shows the drop mark; the drop copies.
    const QPoint pc = view->mapFromGlobal(view->PcList()->mapToGlobal(view->PcList()->rect().center()));
    QTest::mouseMove(view, pc);
    EXPECT_TRUE(view->RowDrag().IsDropShown());
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, pc);
    EXPECT_FALSE(view->IsDragging());
    EXPECT_FALSE(view->RowDrag().Image().IsShown());
    EXPECT_EQ(Rows(view->PcList()).size(), 2) << "the phone's melody was copied";
}
