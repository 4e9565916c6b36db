// The phonebook screen on a test frame against the simulator: opening it,
// reading its list and form, typing, and answering the modal dialogs it
// opens.
#pragma once

#include "pb_fixture.h"

#include "../app/doc_fixture.h"

#include "confirm.h"
#include "entrylistctrl.h"
#include "phonebook.h"
#include "profile.h"
#include "qxpbsrcnewlist.h"
#include "modal_driver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pbtest {

// The screen with its print run going to a PDF file.
class TestPhoneBook : public CPhoneBook {
public:
    QPrinter* PrintTarget() override { return pdf.get(); }
    std::unique_ptr<QPrinter> pdf;
};

class PhoneBookScreenTest : public PhonebookSimTest {
protected:
    void Open()
    {
        screen = std::make_unique<TestPhoneBook>();
        screen->OnInitialUpdate();
        screen->show();
        QCoreApplication::sendPostedEvents();  // the deferred first load
        QCoreApplication::processEvents();
    }
    void TearDown() override
    {
        if (screen) {
            screen->OnDestroy();
            screen.reset();
        }
        PhonebookSimTest::TearDown();
    }
    CEntryListCtrl* List() { return screen->Pane()->GetListCtrl(); }
    std::vector<std::string> Rows()
    {
        std::vector<std::string> out;
        for (int r = 0; r < List()->GetRowCount(); ++r)
            out.push_back(List()->GetRowText(r, 0).toStdString() + "|" + List()->GetRowText(r, 1).toStdString() +
                          "|" + List()->GetRowText(r, 2).toStdString());
        return out;
    }
    QString Label(int id) { return qobject_cast<QLabel*>(screen->GetDlgItem(id))->text(); }
    void Type(int id, const QString& text)
    {
        auto* e = qobject_cast<QLineEdit*>(screen->GetDlgItem(id));
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, text);
    }
    // Answers the next modal dialog of type T with `result`.
    template <class T>
    void AnswerNext(int result)
    {
        QTimer::singleShot(0, [result] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<T*>(w); d && d->isVisible())
                    d->EndDialog(result);
        });
    }

    // A phone whose version answer lets codes be typed in the program and
    // offers messages of several blocks (the call status then says
    // "calling").
    void FullFeaturePhone()
    {
        zorqtest::WriteVersionFile(host.folder, "PB=1.0,SMS=1.0,ST1=1.0");
        ASSERT_TRUE(app.RegisterVersionEditionNumber());
        doc->ParseMobileVersion("PB=1.0,SMS=3.0,CB=1.0,ST1=2.0");
        ASSERT_TRUE(doc->IsCodeEntrySupported());
    }

    // Runs `steps` one after the other, each on the modal dialog of type T
    // that is open at that moment (a step may end it or leave it open).
    template <class T>
    void DriveModal(std::vector<std::function<void(T*)>> steps)
    {
        for (auto& step : steps)
            modal.OnModal<T>(std::move(step));
    }

    std::unique_ptr<TestPhoneBook> screen;
    zorqtest::ModalDriver modal;
};

// Answers each question of a deletion run as it comes: `answer(n)` gives
// the answer to the n-th (from 1).
class QuestionAnswerer {
public:
    explicit QuestionAnswerer(std::function<int(int)> answer) : answer_(std::move(answer))
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<CDlgConfirm*>(w); d && d->isVisible())
                    d->EndDialog(answer_(++asked));
        });
        timer_.start(20);
    }
    int asked = 0;

private:
    std::function<int(int)> answer_;
    QTimer timer_;
};

// The screen whose PC source button is clicked with `path` configured as the
// PC phonebook; the PC menu the pane offers when the book will not open is
// closed without a choice.
class PCBookTest : public PhoneBookScreenTest {
protected:
    // Clicks `row` of the list as a person does.
    void ClickRow(int row)
    {
        ASSERT_GE(row, 0);
        List()->scrollTo(List()->model()->index(row, 0));
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          List()->visualRect(List()->model()->index(row, 0)).center());
        QCoreApplication::processEvents();
    }
    void ClickButton(int id)
    {
        auto* b = qobject_cast<QAbstractButton*>(screen->GetDlgItem(id));
        ASSERT_NE(b, nullptr) << id;
        ASSERT_TRUE(b->isEnabled()) << id;
        QTest::mouseClick(b, Qt::LeftButton);
        QCoreApplication::processEvents();
    }
    // The screen, its window shown, listing the PC phonebook `name` made
    // of `entries`; the file's path.
    std::string ShowPCBook(const std::string& name, const std::vector<PBEntry>& entries)
    {
        StartPhone();
        Open();
        screen->window()->show();
        const std::string path = MakePCDatabase(name, entries);
        EXPECT_FALSE(ClickPCWithBook(path));
        EXPECT_TRUE(screen->Pane()->IsSrcPC());
        EXPECT_EQ(List()->GetRowCount(), static_cast<int>(entries.size()));
        return path;
    }
    // True when the PC menu came up.
    bool ClickPCWithBook(const std::string& path)
    {
        EXPECT_TRUE(WriteIniProfileString("Databases", "Phonebook", path));
        QTest::mouseClick(screen->Pane()->GetSIMButton(), Qt::LeftButton);
        EXPECT_TRUE(screen->Pane()->IsSrcSIM());
        app.shown.clear();
        bool menuOffered = false;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                menuOffered = true;
                popup->close();
            }
        });
        closer.start(20);
        QTest::mouseClick(screen->Pane()->GetPCButton(), Qt::LeftButton);
        QCoreApplication::processEvents();
        return menuOffered;
    }
};

}  // namespace pbtest
