#include "Skin.h"
#include "SkinFramework.h"
#include "TemporaryHome.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace tidewell {
namespace {

const QByteArray sheet = "QCheckBox { color: #123456; }";
const QColor buttonFace(0xd4, 0xd0, 0xc8);

// White windows with grey buttons, so a window painted in the button face
// can be told from one left alone.
QPalette layoutPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::Button, buttonFace);
    return palette;
}

// A window with one control of each kind the colouring tells apart, and a
// dialog it owns whose controls belong to that dialog.
struct SampleWindow
{
    SampleWindow()
    {
        auto *layout = new QVBoxLayout(&window);
        for (QWidget *control : std::initializer_list<QWidget *>{check, radio, frame, button, edit})
            layout->addWidget(control);
        auto *inFrame = new QVBoxLayout(frame);
        inFrame->addWidget(label);
        dialogCheck = new QCheckBox(QStringLiteral("in the dialog"), dialog);
        window.setPalette(layoutPalette());
        dialog->setPalette(layoutPalette());
    }

    QWidget window;
    QCheckBox *check = new QCheckBox(QStringLiteral("check"));
    QRadioButton *radio = new QRadioButton(QStringLiteral("option"));
    QGroupBox *frame = new QGroupBox(QStringLiteral("frame"));
    QLabel *label = new QLabel(QStringLiteral("label"));
    QPushButton *button = new QPushButton(QStringLiteral("button"));
    QLineEdit *edit = new QLineEdit;
    QDialog *dialog = new QDialog(&window);
    QCheckBox *dialogCheck = nullptr;
};

bool hasButtonFace(const QWidget *widget)
{
    return widget->autoFillBackground() && widget->palette().color(widget->backgroundRole()) == buttonFace;
}

class SkinTest : public ::testing::Test
{
protected:
    SkinTest() : m_style(QApplication::style()->name()) {}
    ~SkinTest() override
    {
        qApp->setStyleSheet(QString());
        QApplication::setStyle(m_style);
    }

    void writeSkin(const QByteArray &content) const
    {
        QDir().mkpath(home.programFolder() + QStringLiteral("/x"));
        QFile file(home.programFolder() + QStringLiteral("/x/o.cjs"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    test::TemporaryHome home;
    SampleWindow sample;

private:
    QString m_style;
};

TEST_F(SkinTest, WithoutTheSkinFileNothingChanges)
{
    SkinFramework skin;
    // A folder of the skin file's name is not a skin.
    QDir().mkpath(home.programFolder() + QStringLiteral("/x/o.cjs"));
    ApplySkin(sample.window, skin, home.programFolder());
    EXPECT_FALSE(skin.loaded());
    EXPECT_TRUE(qApp->styleSheet().isEmpty());
    // The check box shows the white window behind it, as laid out.
    EXPECT_EQ(sample.window.palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_FALSE(sample.check->autoFillBackground());
}

TEST_F(SkinTest, TheSkinFileColoursThePlainControlsAndSkinsTheProgram)
{
    writeSkin(sheet);
    QApplication::setStyle(QStringLiteral("Windows"));
    SkinFramework skin;
    ApplySkin(sample.window, skin, home.programFolder());

    for (const QWidget *widget : std::initializer_list<const QWidget *>{
             &sample.window, sample.check, sample.radio, sample.frame, sample.label})
        EXPECT_TRUE(hasButtonFace(widget)) << widget->metaObject()->className();
    EXPECT_FALSE(sample.button->autoFillBackground());
    EXPECT_FALSE(sample.edit->autoFillBackground());
    EXPECT_FALSE(sample.dialogCheck->autoFillBackground()) << "the dialog's controls are the dialog's";

    EXPECT_EQ(qApp->styleSheet(), QString::fromUtf8(sheet));
    EXPECT_EQ(QDir::searchPaths(QStringLiteral("skin")), QStringList{home.programFolder() + QStringLiteral("/x")});
    // Under a sheet the application's style is the sheet's; the base shows
    // once the sheet is gone.
    qApp->setStyleSheet(QString());
    EXPECT_EQ(QApplication::style()->name().toLower(), QStringLiteral("fusion"));
}

TEST_F(SkinTest, ColorFormControlsWorksWithoutASkin)
{
    ColorFormControls(*sample.dialog);
    EXPECT_TRUE(hasButtonFace(sample.dialog));
    EXPECT_TRUE(hasButtonFace(sample.dialogCheck));
    EXPECT_FALSE(sample.check->autoFillBackground()) << "the owner's controls are not the dialog's";
    EXPECT_TRUE(qApp->styleSheet().isEmpty());
}

// Records what the main window asks of the component, and in what state
// the window was at each step.
class RecordingSkin : public SkinFramework
{
public:
    bool LoadSkin(const QString &skinPath, const QString &extraRules) override
    {
        calls << QStringLiteral("load %1 [%2] coloured=%3").arg(skinPath, extraRules).arg(hasButtonFace(window));
        return SkinFramework::LoadSkin(skinPath, extraRules);
    }
    qint32 ApplyOptions() const override { return 4; }
    void setApplyOptions(qint32 options) override
    {
        calls << QStringLiteral("options %1").arg(options);
        SkinFramework::setApplyOptions(options);
    }
    void setSkinSearchPath(bool on) override { calls << QStringLiteral("property 5 %1").arg(on); }
    void setFusionBase(bool on) override { calls << QStringLiteral("property 10 %1").arg(on); }
    void ApplyWindow(QWidget &target) override { calls << QStringLiteral("apply %1").arg(&target == window); }

    const QWidget *window = nullptr;
    QStringList calls;
};

TEST_F(SkinTest, TheComponentIsDrivenInItsOrderAfterTheColouring)
{
    writeSkin(sheet);
    RecordingSkin skin;
    skin.window = &sample.window;
    ApplySkin(sample.window, skin, home.programFolder());
    EXPECT_EQ(skin.calls, (QStringList{
                              QStringLiteral("load %1/x/o.cjs [] coloured=1").arg(home.programFolder()),
                              QStringLiteral("options 5"),
                              QStringLiteral("property 5 1"),
                              QStringLiteral("property 10 1"),
                              QStringLiteral("apply 1"),
                          }));
}

TEST_F(SkinTest, TheComponentSkinsOneWindowUnlessToldToSkinTheProgram)
{
    writeSkin(sheet);
    SkinFramework skin;
    skin.ApplyWindow(sample.window);
    EXPECT_TRUE(sample.window.styleSheet().isEmpty()) << "nothing loaded yet";

    EXPECT_FALSE(skin.LoadSkin(home.programFolder() + QStringLiteral("/x/missing.cjs"), QString()));
    ASSERT_TRUE(skin.LoadSkin(home.programFolder() + QStringLiteral("/x/o.cjs"), QStringLiteral("QLabel {}")));
    skin.ApplyWindow(sample.window);
    EXPECT_EQ(sample.window.styleSheet(), QString::fromUtf8(sheet) + QStringLiteral("\nQLabel {}"));
    EXPECT_TRUE(qApp->styleSheet().isEmpty());
}

} // namespace
} // namespace tidewell
