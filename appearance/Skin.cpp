#include "Skin.h"

#include "SkinFramework.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QRadioButton>
#include <QWidget>

namespace tidewell {
namespace {

// Only an ordinary, visible file switches the skin on; a folder or a hidden
// file of that name does not.
bool skinFileListed(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && !info.isHidden();
}

bool isPlainControl(const QWidget *widget)
{
    return qobject_cast<const QRadioButton *>(widget) || qobject_cast<const QCheckBox *>(widget)
        || qobject_cast<const QGroupBox *>(widget) || qobject_cast<const QLabel *>(widget);
}

void paintBackground(QWidget &widget, const QColor &colour)
{
    QPalette palette = widget.palette();
    palette.setColor(widget.backgroundRole(), colour);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

} // namespace

void ColorFormControls(QWidget &window)
{
    const QColor buttonFace = window.palette().color(QPalette::Button);
    paintBackground(window, buttonFace);
    const auto children = window.findChildren<QWidget *>();
    for (QWidget *child : children) {
        if (child->window() == window.window() && isPlainControl(child))
            paintBackground(*child, buttonFace);
    }
}

void ApplySkin(QWidget &mainWindow, SkinFramework &SkinFramework1, const QString &programFolder)
{
    const QString skinPath = programFolder + QLatin1Char('/') + skinFileName;
    if (!skinFileListed(skinPath))
        return;
    ColorFormControls(mainWindow);
    SkinFramework1.LoadSkin(skinPath, QString());
    SkinFramework1.setApplyOptions(SkinFramework1.ApplyOptions() | SkinFramework::ApplyToApplication);
    SkinFramework1.setSkinSearchPath(true);
    SkinFramework1.setFusionBase(true);
    SkinFramework1.ApplyWindow(mainWindow);
}

} // namespace tidewell
