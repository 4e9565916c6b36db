// The help document of the built program folder holds a section for every
// help context the program can ask the desktop to open.
#include "helpfile.h"

#include "mainview.h"
#include "test_support.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

TEST(HelpDocument, EveryContextTheProgramAsksForIsASectionOfTheBuiltDocument)
{
    QFile file(QString::fromStdString(zorqtest::BuiltProgramDir() + "/ZORQenu.html"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "the build lays the help beside the bundle";
    const QString html = QString::fromUtf8(file.readAll());

    QStringList anchors;
    const QRegularExpression id(QStringLiteral("\\bid=\"([^\"]+)\""));
    for (auto it = id.globalMatch(html); it.hasNext();)
        anchors << it.next().captured(1);
    EXPECT_EQ(anchors.removeDuplicates(), 0) << "an anchor names one section";

    const QStringList contexts = AllHelpContexts();
    for (int kind = VIEW_MENU; kind <= VIEW_DEFAULT; ++kind)
        EXPECT_TRUE(contexts.contains(HelpContextOfView(kind))) << kind;
    for (const QString& c : contexts)
        EXPECT_TRUE(anchors.contains(c)) << "no section for the help context " << c.toStdString();
    // The document's own links lead to its sections.
    const QRegularExpression link(QStringLiteral("href=\"#([^\"]+)\""));
    for (auto it = link.globalMatch(html); it.hasNext();) {
        const QString target = it.next().captured(1);
        EXPECT_TRUE(anchors.contains(target)) << "dangling link #" << target.toStdString();
    }
}

}  // namespace
