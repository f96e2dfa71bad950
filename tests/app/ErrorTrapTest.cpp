#include "BuildConfig.h"
#include "ErrorTrap.h"
#include "ProgramTitle.h"
#include "ScriptedMessageBox.h"

#include <gtest/gtest.h>

namespace tidewell {
namespace {

const QString email = QString::fromUtf8(build::supportEmail);

TEST(ErrorReport, TextIsBuiltFromItsPiecesInOrder)
{
    EXPECT_EQ(errorReportText(QStringLiteral("Overflow"), QStringLiteral("Form1"), QStringLiteral("listPodCast"), 114),
              QStringLiteral("Overflow\r\nin Tidefetch2021/08/31.Form1.listPodCast at line 114\r\r"
                             "Please email screenshot of this message to ")
                  + email);
}

TEST(ErrorTrap, ReportsAndGoesOnWithTheNextStatement)
{
    test::ScriptedMessageBox box;
    ErrorTrap onError(box, QStringLiteral("Form1"), QStringLiteral("Form_Load"));
    QStringList ran;
    onError(100, [&] { ran << QStringLiteral("100"); });
    onError(102, [&] { throw RuntimeError(53, QStringLiteral("File not found")); });
    onError(104, [&] { ran << QStringLiteral("104"); });

    EXPECT_EQ(ran, (QStringList{QStringLiteral("100"), QStringLiteral("104")}));
    ASSERT_EQ(box.shown().size(), 1u);
    EXPECT_EQ(box.shown()[0].title, QStringLiteral("Application Error"));
    EXPECT_EQ(box.shown()[0].style, msgbox::Exclamation);
    EXPECT_TRUE(box.shown()[0].prompt.startsWith(
        QStringLiteral("File not found\r\nin Tidefetch2021/08/31.Form1.Form_Load at line 102\r\r")));
    EXPECT_EQ(onError.reportCount(), 1);
}

TEST(ErrorTrap, ATestThatFailsCountsAsTrue)
{
    test::ScriptedMessageBox box;
    ErrorTrap onError(box, QStringLiteral("Form1"), QStringLiteral("Form_Load"));
    EXPECT_TRUE(onError.test(140, []() -> bool { throw RuntimeError::typeMismatch(); }));
    EXPECT_FALSE(onError.test(142, [] { return false; }));
    ASSERT_EQ(box.shown().size(), 1u);
    EXPECT_TRUE(box.shown()[0].prompt.contains(QStringLiteral("at line 140\r\r")));
}

TEST(ErrorTrap, ProceduresWithoutNumbersReportLineZeroAndExtraLinesFollow)
{
    test::ScriptedMessageBox box;
    ErrorTrap onError(box, QStringLiteral("Form1"), QStringLiteral("PushButton6_Click"));
    onError.setExtraLine([] { return QStringLiteral("ListView1.ListItems.Item(i).SubItems(1): 00:05:00"); });
    onError(0, [] { throw std::length_error("too long"); });
    ASSERT_EQ(box.shown().size(), 1u);
    EXPECT_TRUE(box.shown()[0].prompt.contains(QStringLiteral("PushButton6_Click at line 0\r\r")));
    EXPECT_TRUE(box.shown()[0].prompt.endsWith(
        email + QStringLiteral("\r\nListView1.ListItems.Item(i).SubItems(1): 00:05:00")));
}

TEST(MessageBoxSeam, BoxesWithoutATitleCarryTheProgramTitle)
{
    test::ScriptedMessageBox box;
    box.show(QStringLiteral("Done."));
    box.show(QStringLiteral("Sure?"), msgbox::YesNo, QStringLiteral("Own title"));
    EXPECT_EQ(box.shown()[0].title, programTitle());
    EXPECT_EQ(programTitle(), QStringLiteral("Tidewell Episode"));
    EXPECT_EQ(box.shown()[1].title, QStringLiteral("Own title"));
}

} // namespace
} // namespace tidewell
