// The manual page and --help describe the same options, spelled the same,
// with the same argument names: an option added to one and forgotten in the
// other fails here.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace tidewell {
namespace {

// One entry per option: its spellings and its argument, "-h, --help" or
// "--download NAME", sorted.
QStringList optionsOfHelp(const QString &help)
{
    // "  -v, --version   Displays ...", "  --download <NAME>   Download ...".
    static const QRegularExpression line(QStringLiteral("^  (-\\S.*?)(?:\\s{2,}|$)"),
                                         QRegularExpression::MultilineOption);
    QStringList options;
    for (const QRegularExpressionMatch &match : line.globalMatch(help)) {
        QString option = match.captured(1);
        options << option.remove(QLatin1Char('<')).remove(QLatin1Char('>'));
    }
    options.sort();
    return options;
}

QStringList optionsOfManual(const QString &manual)
{
    const qsizetype start = manual.indexOf(QStringLiteral("\n# OPTIONS\n"));
    const qsizetype end = manual.indexOf(QStringLiteral("\n# "), start + 1);
    if (start < 0)
        return {};
    // "*-h*, *--help*", "*--download* _NAME_": the unindented lines of the
    // section that start with an option.
    static const QRegularExpression line(QStringLiteral("^\\*-.*$"), QRegularExpression::MultilineOption);
    static const QRegularExpression markup(QStringLiteral("[*_]"));
    QStringList options;
    for (const QRegularExpressionMatch &match : line.globalMatch(manual.mid(start, end - start)))
        options << match.captured(0).remove(markup);
    options.sort();
    return options;
}

TEST(Manual, ListsExactlyTheOptionsOfHelpWithTheirArguments)
{
    QProcess program;
    program.start(QStringLiteral(TIDEWELL_EXECUTABLE), {QStringLiteral("--help")});
    ASSERT_TRUE(program.waitForFinished(30000));
    ASSERT_EQ(program.exitCode(), 0);
    const QStringList help = optionsOfHelp(QString::fromLocal8Bit(program.readAllStandardOutput()));

    QFile source(QStringLiteral(TIDEWELL_MANUAL_SOURCE));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QStringList manual = optionsOfManual(QString::fromUtf8(source.readAll()));

    EXPECT_GE(help.size(), 10);
    EXPECT_EQ(manual.join(QLatin1Char('\n')).toStdString(), help.join(QLatin1Char('\n')).toStdString());

    // Qt lists --help-all but answers it only through its own processing.
    program.start(QStringLiteral(TIDEWELL_EXECUTABLE), {QStringLiteral("--help-all")});
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitCode(), 0);
}

} // namespace
} // namespace tidewell
