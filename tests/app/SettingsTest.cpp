#include "Settings.h"
#include "TemporaryHome.h"

#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

namespace tidewell {
namespace {

TEST(SettingsStore, ReadsDefaultsUntilAValueIsWritten)
{
    test::TemporaryHome home;
    EXPECT_EQ(settings::read(settings::startStopState, settings::on), settings::on);
    EXPECT_EQ(settings::read(settings::minimized, settings::off), settings::off);

    settings::write(settings::startStopState, settings::off);
    EXPECT_EQ(settings::read(settings::startStopState, settings::on), settings::off);
    settings::write(settings::startStopState, settings::on);
    EXPECT_EQ(settings::read(settings::startStopState, settings::off), settings::on);
}

TEST(SettingsStore, KeepsValuesUnderTheApplicationAndSection)
{
    test::TemporaryHome home;
    settings::write(settings::lastFolderDot, QStringLiteral("/home/me/Podcasts"));
    ASSERT_TRUE(QFile::exists(home.configFile()));
    QSettings file(home.configFile(), QSettings::IniFormat);
    EXPECT_EQ(file.value(QStringLiteral("Tidewell Episode Keeper/LastFolderDot")).toString(),
              QStringLiteral("/home/me/Podcasts"));
    EXPECT_EQ(GetSetting(QStringLiteral("Marrowby"), QStringLiteral("Other section"), settings::lastFolderDot,
                         QStringLiteral("none")),
              QStringLiteral("none"));
}

} // namespace
} // namespace tidewell
