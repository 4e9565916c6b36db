#include "walkthrough.h"
#include "dlgmelodyeditor.h"
#include "dlgmelodyprops.h"
#include "melody_fixture.h"
#include "melodylist.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QElapsedTimer>
#include <QTest>

#include "strutil.h"

#include <gtest/gtest.h>

namespace {

using zorqtest::ReadFile;
using zorqtest::WriteFile;

class MelodyDialogTest : public zorqtest::MelodyFixture {
protected:
    static CMelody* Make(const QString& name, int index, const std::string& notes, int tempo = 100)
    {
        auto* m = new CMelody;
        m->SetName(name, false);
        m->SetPhoneIndex(index);
        m->SetTempo(tempo);
        m->AnalyseNote(notes);
        return m;
    }
    template <class T>
    T* Control(CDialog& dlg, int id)
    {
        return qobject_cast<T*>(dlg.GetDlgItem(id));
    }
    // Opens a dialog without its modal loop.
    static void Open(CDialog& dlg)
    {
        ASSERT_TRUE(dlg.CreateFromTemplate());
        dlg.setResult(IDCANCEL);
        dlg.OnInitDialog();
    }
};

TEST_F(MelodyDialogTest, ToPhoneCarriesEachSlotWithItsRow)
{
    CMelodyList phone;
    phone.AddTail(Make("", 1, "A4 c100"));  // an unnamed phone melody is not offered
    phone.AddTail(Make("Jazz", 2, "B4 c100"));
    phone.AddTail(Make("Scale", 3, "C4 c100"));
    CDlgMelodyToPhone dlg(nullptr, "A very long name", 12, &phone);
    Open(dlg);
    EXPECT_EQ(Control<QLineEdit>(dlg, 1078)->text(), "A very long ");
    EXPECT_EQ(Control<QLineEdit>(dlg, 1078)->maxLength(), 12);
    auto* combo = Control<QComboBox>(dlg, 1076);
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(0), "Jazz");
    EXPECT_FALSE(zorqtest::SaveScreen(&dlg, QStringLiteral("melody_to_phone_dialog")).isEmpty());
    combo->setCurrentIndex(1);  // "Scale", the third melody of the phone
    Control<QLineEdit>(dlg, 1078)->setText("Tango");
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), IDOK);
    EXPECT_EQ(dlg.GetPosition(), 2);
    EXPECT_EQ(dlg.GetName(), "Tango");
}

TEST_F(MelodyDialogTest, ToPhoneRefusesEmptyAndUsedNames)
{
    CMelodyList phone;
    phone.AddTail(Make("Jazz", 1, "B4 c100"));
    CDlgMelodyToPhone dlg(nullptr, "x", 0, &phone);
    Open(dlg);
    Control<QLineEdit>(dlg, 1078)->setText("  ");
    dlg.OnOK();
    Control<QLineEdit>(dlg, 1078)->setText("jazz");
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), IDCANCEL);
    ASSERT_EQ(app_.shown.size(), 2u);
    EXPECT_EQ(app_.shown[0].text, "Please enter a name.");
    EXPECT_TRUE(app_.shown[1].text.startsWith("This name exists already"));

    // Only unnamed phone melodies: nothing to choose, the first slot is taken.
    CMelodyList unnamed;
    unnamed.AddTail(Make("", 1, "B4 c100"));
    CDlgMelodyToPhone first(nullptr, "New", 0, &unnamed);
    Open(first);
    EXPECT_EQ(Control<QComboBox>(first, 1076)->count(), 0);
    first.OnOK();
    EXPECT_EQ(first.result(), IDOK);
    EXPECT_EQ(first.GetPosition(), 0);
}

TEST_F(MelodyDialogTest, PropertyChecksTheTempoRange)
{
    std::unique_ptr<CMelody> m(Make("Waltzing along", 1, "A4 c100", 999));
    CDlgMelodyProperty dlg(nullptr, m.get(), 8, 10, 300);
    Open(dlg);
    EXPECT_EQ(Control<QLineEdit>(dlg, 1074)->text(), "Waltzing");
    EXPECT_EQ(Control<QLineEdit>(dlg, 1075)->text(), "300");  // shown clamped
    EXPECT_FALSE(zorqtest::SaveScreen(&dlg, QStringLiteral("melody_properties_dialog")).isEmpty());
    auto* tempo = Control<QLineEdit>(dlg, 1075);
    for (const char* bad : {"9", "301", "fast"}) {
        tempo->setText(bad);
        dlg.OnOK();
        EXPECT_EQ(dlg.result(), IDCANCEL) << bad;
    }
    ASSERT_EQ(app_.shown.size(), 3u);
    EXPECT_EQ(app_.shown[0].text, "The tempo must be at least 10.");
    EXPECT_EQ(app_.shown[1].text, "The tempo may be at most 300.");
    EXPECT_EQ(app_.shown[2].text, "The tempo must be at least 10.");
    for (const char* edge : {"10", "300"}) {
        tempo->setText(edge);
        dlg.setResult(IDCANCEL);
        dlg.OnOK();
        EXPECT_EQ(dlg.result(), IDOK) << edge;
        EXPECT_EQ(dlg.GetTempo(), QString(edge).toInt());
    }
    Control<QLineEdit>(dlg, 1074)->setText("");
    dlg.setResult(IDCANCEL);
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), IDCANCEL);

    CDlgMelodyProperty none(nullptr, nullptr, 0, 1, 999);
    EXPECT_EQ(none.GetTempo(), 150);
    EXPECT_EQ(none.GetName(), "");
}

class MelodyEditorTest : public MelodyDialogTest {
protected:
    CDlgMelodyEditor::Limits limits_;
};

TEST_F(MelodyEditorTest, NotationReadsIntoNotes)
{
    CDlgMelodyEditor dlg(nullptr, nullptr, limits_, nullptr);
    Open(dlg);
    CMelody* m = dlg.GetMelody();
    EXPECT_EQ(m->GetTempo(), 500);
    ASSERT_TRUE(dlg.ReadNotes("cde"));
    ASSERT_EQ(m->GetNoteCount(), 5);  // two closing pauses
    EXPECT_EQ(m->MakeNotesString(-1), "C4 c500 D4 c500 E4 c500 M c500 M c500");
    ASSERT_TRUE(dlg.ReadNotes("C#+ g4 a- b5"));
    EXPECT_EQ(m->MakeNotesString(-1),
              "C#5 c1000 M c500 G4 c500 M c500 A3 c500 M c500 B5 c500 M c500 M c500");
    // Beyond the phone's notes (F3 to C6): pauses of the same length.
    ASSERT_TRUE(dlg.ReadNotes("e-D+++p"));
    EXPECT_EQ(m->MakeNotesString(-1), "M c500 M c1000 M c500");
    // The text the editor shows for a melody reads back to the same notes.
    ASSERT_TRUE(dlg.ReadNotes("cDe+f#-Gapb"));
    const std::string text = m->MakeEditorText(-1);
    EXPECT_EQ(text, "cDe+f#-Gapbpp");
    CMelody before;
    before.CopyFrom(m);
    ASSERT_TRUE(dlg.ReadNotes(QString::fromStdString(text)));
    EXPECT_TRUE(m->IsSameNotes(&before, -1));
}

TEST_F(MelodyEditorTest, TooManyNotesAreRefused)
{
    // The phone keeps 77 characters of notes text: eight notes of one beat
    // at tempo 500 and the two closing pauses, "C4 c500 ... M c500".
    limits_.notesTextMax = 77;
    CDlgMelodyEditor dlg(nullptr, nullptr, limits_, nullptr);
    Open(dlg);
    EXPECT_TRUE(dlg.ReadNotes("cdefgabc"));
    EXPECT_EQ(dlg.GetMelody()->MakeNotesString(-1).size(), 77u);
    EXPECT_FALSE(dlg.ReadNotes("cdefgabcd"));  // one too many
    EXPECT_FALSE(dlg.ReadNotes("cdefgabcdef"));
    EXPECT_FALSE(dlg.ReadNotes("cdefgabC"));  // a note of two beats takes one character more
    ASSERT_EQ(app_.shown.size(), 3u);
    EXPECT_EQ(app_.shown[0].text, "There is one note too many.");
    EXPECT_EQ(app_.shown[1].text, "There are 3 notes too many.");
    EXPECT_EQ(app_.shown[2].text, "There is one note too many.");
}

TEST_F(MelodyEditorTest, EditingKeepsTheTempoAndShowsEveryNote)
{
    limits_.notesTextMax = 4;  // shorter than the melody: it is shown whole all the same
    std::unique_ptr<CMelody> m(Make("Tune", -1, "C4 c500 D4 c500 E4 c500 F4 c500 G4 c500 M c500 M c500", 500));
    CDlgMelodyEditor dlg(nullptr, m.get(), limits_, nullptr);
    Open(dlg);
    EXPECT_EQ(Control<QLineEdit>(dlg, 1080)->text(), "cdefg");
    auto* slider = Control<QSlider>(dlg, 1081);
    dlg.ReadTempo();
    EXPECT_EQ(m->GetTempo(), 500);
    slider->setValue(slider->maximum());
    dlg.ReadTempo();
    EXPECT_EQ(m->GetTempo(), 1);
    slider->setValue(slider->minimum());
    dlg.ReadTempo();
    EXPECT_EQ(m->GetTempo(), 999);
}

TEST_F(MelodyEditorTest, MelodiesWithoutTheNotationCanOnlyBeRenamed)
{
    std::unique_ptr<CMelody> m(Make("Scale", 1, "C4 c250 D4 c250", 100));
    CDlgMelodyEditor dlg(nullptr, m.get(), limits_, nullptr);
    Open(dlg);
    EXPECT_FALSE(Control<QLineEdit>(dlg, 1080)->isEnabled());
    EXPECT_FALSE(Control<QSlider>(dlg, 1081)->isEnabled());
    ASSERT_EQ(app_.shown.size(), 1u);
    EXPECT_TRUE(app_.shown[0].text.contains("notes and the tempo"));
    Control<QLineEdit>(dlg, 1077)->setText("Ladder");
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), IDOK);
    EXPECT_EQ(ReadFile(MelodyDir() + "Ladder.MDY"), "NAME=Ladder\r\nTEMPO=100\r\nC4 c250\r\nD4 c250\r\n");
}

TEST_F(MelodyEditorTest, SavingANewMelodyChecksTheList)
{
    CMelodyList list;
    list.AddTail(Make("Taken", -1, "A4 c500 M c500 M c500", 500));
    CDlgMelodyEditor dlg(nullptr, nullptr, limits_, &list);
    Open(dlg);
    auto* name = Control<QLineEdit>(dlg, 1077);
    auto* notes = Control<QLineEdit>(dlg, 1080);
    EXPECT_FALSE(dlg.GetDlgItem(IDOK)->isEnabled());
    name->setText("taken");
    notes->setText("c");
    EXPECT_TRUE(dlg.GetDlgItem(IDOK)->isEnabled());
    dlg.OnOK();  // name used
    name->setText("fresh");
    notes->setText("a");
    dlg.OnOK();  // same notes as "Taken"
    notes->setText("ppp");
    dlg.OnOK();  // pauses only
    EXPECT_EQ(notes->text(), "");
    EXPECT_EQ(dlg.result(), IDCANCEL);
    ASSERT_EQ(app_.shown.size(), 3u);
    EXPECT_TRUE(app_.shown[0].text.startsWith("This name exists already"));
    EXPECT_EQ(app_.shown[1].text, "This melody exists already under the name Taken.");
    EXPECT_TRUE(app_.shown[2].text.startsWith("A melody of pauses only"));
    notes->setText("ccg");
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), IDOK);
    EXPECT_EQ(dlg.GetMelody()->GetMelodyName(), "Fresh");
    EXPECT_EQ(ReadFile(MelodyDir() + "Fresh.MDY"),
              "NAME=Fresh\r\nTEMPO=500\r\nC4 c500\r\nC4 c500\r\nG4 c500\r\nM c500\r\nM c500\r\n");
}

TEST_F(MelodyEditorTest, RenamingWritesTheNewFileFirstAndAsksBeforeReplacing)
{
    WriteFile(MelodyDir() + "Old.MDY", "NAME=Old\r\nTEMPO=500\r\nA4 c500\r\n");
    WriteFile(MelodyDir() + "Other.MDY", "unrelated\r\n");
    CMelody m;
    ASSERT_TRUE(m.Load(QString::fromStdString(MelodyDir() + "Old.MDY")));
    {
        CDlgMelodyEditor dlg(nullptr, &m, limits_, nullptr);
        Open(dlg);
        Control<QLineEdit>(dlg, 1077)->setText("Other");
        app_.dialogResult = IDNO;
        app_.systemResult = IDNO;
        dlg.OnOK();
        EXPECT_EQ(dlg.result(), IDCANCEL);
        ASSERT_EQ(app_.shown.size(), 1u);
        EXPECT_EQ(app_.shown[0].text, "The file Other.MDY exists already. Replace it?");
        EXPECT_EQ(ReadFile(MelodyDir() + "Other.MDY"), "unrelated\r\n");
        EXPECT_EQ(ReadFile(MelodyDir() + "Old.MDY"), "NAME=Old\r\nTEMPO=500\r\nA4 c500\r\n");
    }
    CDlgMelodyEditor dlg(nullptr, &m, limits_, nullptr);
    Open(dlg);
    Control<QLineEdit>(dlg, 1077)->setText("New");
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), IDOK);
    EXPECT_FALSE(FileExists(MelodyDir() + "Old.MDY"));
    EXPECT_EQ(ReadFile(MelodyDir() + "New.MDY"), "NAME=New\r\nTEMPO=500\r\nA4 c500\r\nM c500\r\nM c500\r\n");
    EXPECT_EQ(m.GetFilePath(), QString::fromStdString(MelodyDir() + "New.MDY"));
}

TEST_F(MelodyEditorTest, PlaysFromTheEditor)
{
    CDlgMelodyEditor dlg(nullptr, nullptr, limits_, nullptr);
    Open(dlg);
    Control<QLineEdit>(dlg, 1077)->setText("Tune");
    Control<QLineEdit>(dlg, 1080)->setText("c");
    auto* slider = Control<QSlider>(dlg, 1081);
    slider->setValue(slider->maximum() - 4);  // tempo 5: 50 ms a beat
    auto* play = Control<QPushButton>(dlg, 1082);
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_TRUE(dlg.IsPlaying());
    EXPECT_EQ(play->text(), "Stop");
    EXPECT_FALSE(dlg.GetDlgItem(1080)->isEnabled());
    EXPECT_FALSE(dlg.GetDlgItem(IDOK)->isEnabled());
    QElapsedTimer t;
    t.start();
    while (dlg.IsPlaying() && t.elapsed() < 5000)
        QTest::qWait(10);
    EXPECT_FALSE(dlg.IsPlaying());  // the end of the melody reset the button
    EXPECT_EQ(play->text(), "Play on PC");
    EXPECT_TRUE(dlg.GetDlgItem(IDOK)->isEnabled());
    // Stopping by the same button.
    slider->setValue(slider->minimum());
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_TRUE(dlg.IsPlaying());
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_FALSE(dlg.IsPlaying());
    EXPECT_FALSE(dlg.GetMelody()->IsPlaying());
}

}  // namespace
