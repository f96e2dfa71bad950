#pragma once

#include "MessageBox.h"
#include "RuntimeError.h"

#include <QString>

#include <functional>
#include <utility>

namespace tidewell {

// The text of the error report for a failed statement.
QString errorReportText(const QString &description, const QString &object, const QString &procedure, int line);

// The error handler of one run of a guarded procedure. Every numbered
// statement runs through it; a run-time error shows the report and the
// procedure goes on with its next statement, as the program always has.
class ErrorTrap
{
public:
    ErrorTrap(MessageBox &messageBox, QString object, QString procedure);

    // Runs one statement; a run-time error is reported at `line`.
    template <typename Statement>
    void operator()(int line, Statement &&statement)
    {
        try {
            std::forward<Statement>(statement)();
        } catch (const RuntimeError &error) {
            report(line, error);
        } catch (const std::exception &error) {
            report(line, unexpected(error));
        }
    }

    // Evaluates the test of a condition. A test that fails to evaluate counts
    // as true, so the statements it governs run, as after a resumed error.
    template <typename Condition>
    bool test(int line, Condition &&condition)
    {
        try {
            return std::forward<Condition>(condition)();
        } catch (const RuntimeError &error) {
            report(line, error);
        } catch (const std::exception &error) {
            report(line, unexpected(error));
        }
        return true;
    }

    // A further line for the report, asked for when a report is shown.
    void setExtraLine(std::function<QString()> extraLine) { m_extraLine = std::move(extraLine); }

    // How many reports this run has shown; loops use it to stop retrying.
    int reportCount() const { return m_reportCount; }

    void report(int line, const RuntimeError &error);

private:
    static RuntimeError unexpected(const std::exception &error);

    MessageBox &m_messageBox;
    QString m_object;
    QString m_procedure;
    std::function<QString()> m_extraLine;
    int m_reportCount = 0;
};

} // namespace tidewell
