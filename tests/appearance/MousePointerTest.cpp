#include "CursorFileData.h"
#include "MousePointer.h"
#include "TemporaryHome.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace tidewell {
namespace {

// The main window's arrangement: push buttons, a list, a frame holding a
// check box.
class PointerTest : public ::testing::Test
{
protected:
    PointerTest()
    {
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(20, 20, 20, 20);
        layout->addWidget(list);
        layout->addWidget(button1);
        layout->addWidget(button2);
        layout->addWidget(frame);
        (new QVBoxLayout(frame))->addWidget(check);
        pointers = new MousePointerSwitch(window, {button1, button2}, {list, frame});
        window.resize(300, 400);
        window.show();
    }

    // As Qt delivers a move without a button held: to the widget under the
    // mouse, then on to its parents while they ignore it.
    static void moveOver(QWidget *widget, QPoint at = QPoint(2, 2))
    {
        QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }

    Qt::CursorShape shape() const { return window.cursor().shape(); }

    test::TemporaryHome home;
    QWidget window;
    QTreeView *list = new QTreeView;
    QPushButton *button1 = new QPushButton(QStringLiteral("one"));
    QPushButton *button2 = new QPushButton(QStringLiteral("two"));
    QGroupBox *frame = new QGroupBox(QStringLiteral("frame"));
    QCheckBox *check = new QCheckBox(QStringLiteral("check"));
    MousePointerSwitch *pointers = nullptr;
};

TEST_F(PointerTest, PushButtonsShowTheHandAndTheListedControlsTheDefault)
{
    moveOver(button1);
    EXPECT_EQ(pointers->MousePointer(), pointer::Custom);
    EXPECT_EQ(shape(), Qt::PointingHandCursor) << "the hand stands in for a missing cursor file";

    moveOver(list->viewport());
    EXPECT_EQ(pointers->MousePointer(), pointer::Default);
    EXPECT_EQ(shape(), Qt::ArrowCursor);

    moveOver(button2);
    moveOver(check);
    EXPECT_EQ(pointers->MousePointer(), pointer::Custom) << "other controls leave the pointer alone";

    moveOver(frame);
    EXPECT_EQ(pointers->MousePointer(), pointer::Default);

    moveOver(button2);
    moveOver(&window, QPoint(1, 1));
    EXPECT_EQ(pointers->MousePointer(), pointer::Default) << "the bare window";
}

TEST_F(PointerTest, TheCursorFileGivesTheCustomPointerItsPicture)
{
    const QString path = home.programFolder() + QLatin1Char('/') + cursorFileName;
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(test::cursorFile({{32, 32, QPoint(8, 1), test::bitmap1(test::samplePicture(32, 32))}}));
    file.close();

    moveOver(button1);
    ASSERT_TRUE(pointers->LoadMouseIcon(path));
    EXPECT_EQ(shape(), Qt::BitmapCursor) << "a pointer already custom takes the new picture";
    EXPECT_EQ(window.cursor().hotSpot(), QPoint(8, 1));

    // An unreadable file leaves no picture, and the hand comes back.
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a cursor");
    file.close();
    EXPECT_FALSE(pointers->LoadMouseIcon(path));
    EXPECT_FALSE(pointers->hasMouseIcon());
    EXPECT_EQ(shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(pointers->LoadMouseIcon(home.programFolder() + QStringLiteral("/missing.cur")));
}

} // namespace
} // namespace tidewell
