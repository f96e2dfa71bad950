#include "SkinFramework.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

namespace tidewell {
namespace {
const QString skinSearchPrefix = QStringLiteral("skin");
const QString fusion = QStringLiteral("Fusion");

void useFusionStyle()
{
    if (QApplication::style()->name().compare(fusion, Qt::CaseInsensitive) != 0)
        QApplication::setStyle(fusion);
}
} // namespace

bool SkinFramework::LoadSkin(const QString &skinPath, const QString &extraRules)
{
    m_loaded = false;
    m_styleSheet.clear();
    QFile skin(skinPath);
    if (!skin.open(QIODevice::ReadOnly))
        return false;
    m_styleSheet = QString::fromUtf8(skin.readAll());
    if (!extraRules.isEmpty())
        m_styleSheet += QLatin1Char('\n') + extraRules;
    m_skinFolder = QFileInfo(skinPath).absolutePath();
    m_loaded = true;
    return true;
}

void SkinFramework::ApplyWindow(QWidget &window)
{
    if (!m_loaded)
        return;
    if (m_skinSearchPath)
        QDir::setSearchPaths(skinSearchPrefix, {m_skinFolder});
    if (m_fusionBase)
        useFusionStyle();
    if (m_applyOptions & ApplyToApplication)
        qApp->setStyleSheet(m_styleSheet);
    else
        window.setStyleSheet(m_styleSheet);
}

} // namespace tidewell
