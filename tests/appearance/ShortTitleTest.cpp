#include "ProgramTitle.h"
#include "RuntimeError.h"
#include "ShortTitle.h"

#include <gtest/gtest.h>

namespace tidewell {
namespace {

class ShortTitleTest : public ::testing::Test
{
protected:
    ~ShortTitleTest() override { setProgramTitle(m_saved); }

private:
    QString m_saved = programTitle();
};

TEST_F(ShortTitleTest, DropsTheLastWordOnceWhenThatIsShortEnough)
{
    SetProgramTitle();
    EXPECT_EQ(programTitle(), QStringLiteral("Tidewell Episode"));
    EXPECT_EQ(shortProgramTitle(QStringLiteral("North Shore Keeper")), QStringLiteral("North Shore"));
    EXPECT_EQ(shortProgramTitle(QStringLiteral("Two Words")), QStringLiteral("Two"));
    // Forty characters before the last space are kept as they are.
    const QString forty(40, QLatin1Char('a'));
    EXPECT_EQ(shortProgramTitle(forty + QStringLiteral(" tail")), forty);
}

TEST_F(ShortTitleTest, CutsALongNameWordByWordUntilFortyCharactersRemain)
{
    const QString name = QStringLiteral("Alpha Bravo Charlie Delta Echo Foxtrot Golf Hotel India");
    SetProgramTitle(name);
    EXPECT_EQ(programTitle(), QStringLiteral("Alpha Bravo Charlie Delta Echo Foxtrot"));
}

TEST_F(ShortTitleTest, ANameThatCannotBeCutIsAnErrorAndKeepsTheTitle)
{
    setProgramTitle(QStringLiteral("before"));
    // The last: the first cut leaves one long word that cannot be cut again.
    const QString names[] = {QStringLiteral("Tidewell"), QString(), QString(41, QLatin1Char('b')) + QStringLiteral(" c")};
    for (const QString &name : names) {
        try {
            SetProgramTitle(name);
            ADD_FAILURE() << "no error for " << name.toStdString();
        } catch (const RuntimeError &error) {
            EXPECT_EQ(error.number(), errnum::InvalidProcedureCall);
        }
        EXPECT_EQ(programTitle(), QStringLiteral("before"));
    }
}

} // namespace
} // namespace tidewell
