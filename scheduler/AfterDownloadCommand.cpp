#include "AfterDownloadCommand.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <csignal>
#include <unistd.h>

namespace tidewell {
namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

// A failure is told by the first line of the command's standard error that
// says anything; only the start is kept, however much the command writes.
constexpr qsizetype stderrKept = 1024;

QString firstLine(const QByteArray &output)
{
    for (const QByteArray &line : output.split('\n')) {
        QString text = QString::fromLocal8Bit(line);
        text.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
        text = text.trimmed();
        if (!text.isEmpty())
            return text;
    }
    return {};
}

QString spoken(std::chrono::milliseconds limit)
{
    const qint64 ms = limit.count();
    if (ms % 60000 == 0)
        return ms == 60000 ? QStringLiteral("1 minute") : QStringLiteral("%1 minutes").arg(ms / 60000);
    if (ms % 1000 == 0)
        return QStringLiteral("%1 seconds").arg(ms / 1000);
    return QStringLiteral("%1 ms").arg(ms);
}

AfterDownloadOutcome failed(const QString &reason)
{
    return {AfterDownloadOutcome::Result::Failed, reason};
}

// The program as execvp would find it, relative paths taken from the
// folder the command runs in, or why there is none to run.
std::pair<QString, QString> executableFor(const QString &program, const QString &folder)
{
    const QString noSuchProgram = QStringLiteral("no such program");
    if (!program.contains(QLatin1Char('/'))) {
        const QString found = QStandardPaths::findExecutable(program);
        return {found, found.isEmpty() ? noSuchProgram : QString()};
    }
    const QFileInfo file(QDir(folder), program);
    if (!file.exists())
        return {{}, noSuchProgram};
    if (!file.isFile() || !file.isExecutable())
        return {{}, QStringLiteral("it is not an executable program")};
    return {file.absoluteFilePath(), {}};
}

} // namespace

QStringList SplitCommandLine(const QString &commandLine, QString *error)
{
    enum class Quote { None, Single, Double } quote = Quote::None;
    QStringList words;
    QString word;
    bool inWord = false;
    for (qsizetype at = 0; at < commandLine.size(); ++at) {
        const QChar c = commandLine.at(at);
        const bool escapes = at + 1 < commandLine.size();
        if (quote == Quote::Single) {
            if (c == QLatin1Char('\''))
                quote = Quote::None;
            else
                word += c;
        } else if (quote == Quote::Double) {
            if (c == QLatin1Char('"')) {
                quote = Quote::None;
            } else if (c == QLatin1Char('\\') && escapes && QStringView(u"$`\"\\\n").contains(commandLine.at(at + 1))) {
                if (commandLine.at(++at) != QLatin1Char('\n'))
                    word += commandLine.at(at);
            } else {
                word += c;
            }
        } else if (c == QLatin1Char('\\')) {
            if (!escapes) {
                *error = QStringLiteral("it ends in a backslash");
                return {};
            }
            if (commandLine.at(++at) != QLatin1Char('\n')) {
                word += commandLine.at(at);
                inWord = true;
            }
        } else if (isBlank(c)) {
            if (inWord)
                words << std::exchange(word, QString());
            inWord = false;
        } else {
            inWord = true;
            if (c == QLatin1Char('\''))
                quote = Quote::Single;
            else if (c == QLatin1Char('"'))
                quote = Quote::Double;
            else
                word += c;
        }
    }
    if (quote != Quote::None) {
        *error = quote == Quote::Single ? QStringLiteral("a ' is not closed") : QStringLiteral("a \" is not closed");
        return {};
    }
    if (inWord)
        words << word;
    return words;
}

QStringList ExpandPlaceholders(const QStringList &words, const NewEpisode &episode)
{
    QStringList expanded;
    for (const QString &word : words) {
        QString text;
        for (qsizetype at = 0; at < word.size(); ++at) {
            const QChar c = word.at(at);
            const QChar next = at + 1 < word.size() ? word.at(at + 1) : QChar();
            if (c != QLatin1Char('%') || !QStringView(u"fnu%").contains(next)) {
                text += c;
                continue;
            }
            ++at;
            text += next == QLatin1Char('f') ? episode.file
                : next == QLatin1Char('n')   ? episode.feed
                : next == QLatin1Char('u')   ? episode.url
                                             : QStringLiteral("%");
        }
        expanded << text;
    }
    return expanded;
}

QString AfterDownloadOutcome::text() const
{
    switch (result) {
    case Result::Succeeded:
        return {};
    case Result::Failed:
        return QStringLiteral("after-download command failed: ") + reason;
    case Result::NotRun:
        return QStringLiteral("after-download command not run: ") + reason;
    }
    return {};
}

struct AfterDownloadCommand::Running
{
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    QTimer timeLimit;
    QByteArray standardError;
    bool killed = false;
    Done done;

    // The command runs in a process group of its own, so a script is killed
    // together with what it started.
    void kill()
    {
        // Never 0 here: kill(0) would be the program's own group.
        const auto pid = static_cast<pid_t>(process->processId());
        if (process->state() != QProcess::NotRunning && pid > 0)
            ::kill(-pid, SIGKILL);
    }

    void keepStandardError()
    {
        standardError += process->readAllStandardError().left(stderrKept - standardError.size());
    }
};

AfterDownloadCommand::AfterDownloadCommand(std::chrono::milliseconds timeLimit) : m_timeLimit(timeLimit) {}

AfterDownloadCommand::~AfterDownloadCommand()
{
    for (auto &[name, feed] : m_feeds) {
        if (feed.running) {
            QObject::disconnect(feed.running->process.get(), nullptr, this, nullptr);
            feed.running->kill();
            feed.running->process->waitForFinished(1000);
        }
    }
}

void AfterDownloadCommand::run(const QString &commandLine, const NewEpisode &episode, Done done)
{
    Feed &feed = m_feeds[episode.feed];
    if (!feed.running) {
        start({commandLine, episode, std::move(done)});
        return;
    }
    if (feed.waiting)
        report(std::move(feed.waiting->done),
               {AfterDownloadOutcome::Result::NotRun, QStringLiteral("a newer episode replaced the file first")});
    feed.waiting = Request{commandLine, episode, std::move(done)};
}

bool AfterDownloadCommand::isRunning(const QString &feed) const
{
    const auto found = m_feeds.find(feed);
    return found != m_feeds.end() && found->second.running;
}

void AfterDownloadCommand::start(Request request)
{
    const QString feedName = request.episode.feed;
    QString error;
    const QStringList words = ExpandPlaceholders(SplitCommandLine(request.commandLine, &error), request.episode);
    if (!error.isEmpty() || words.isEmpty()) {
        m_feeds.erase(feedName);
        report(std::move(request.done),
               words.isEmpty() && error.isEmpty() ? AfterDownloadOutcome{}
                                                  : failed(QStringLiteral("the command cannot be read: ") + error));
        return;
    }
    const QString folder = QFileInfo(request.episode.file).absolutePath();
    const auto [program, whyNot] = executableFor(words.first(), folder);
    if (program.isEmpty()) {
        m_feeds.erase(feedName);
        report(std::move(request.done), failed(QStringLiteral("cannot start \"%1\": %2").arg(words.first(), whyNot)));
        return;
    }

    auto running = std::make_unique<Running>();
    running->done = std::move(request.done);
    QProcess &process = *running->process;
    process.setProgram(program);
    process.setArguments(words.mid(1));
    process.setWorkingDirectory(folder);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TIDEWELL_FILE"), request.episode.file);
    environment.insert(QStringLiteral("TIDEWELL_FEED"), request.episode.feed);
    environment.insert(QStringLiteral("TIDEWELL_URL"), request.episode.url);
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setChildProcessModifier([] { ::setsid(); });

    Running *state = running.get();
    QObject::connect(&process, &QProcess::readyReadStandardError, this, [state] { state->keepStandardError(); });
    QObject::connect(&process, &QProcess::errorOccurred, this, [this, state, feedName](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(feedName, failed(QStringLiteral("cannot start \"%1\": %2")
                                        .arg(state->process->program(), state->process->errorString())));
    });
    QObject::connect(&process, &QProcess::finished, this,
                     [this, state, feedName](int exitCode, QProcess::ExitStatus status) {
                         state->keepStandardError();
                         finish(feedName, outcomeOf(*state, exitCode, status));
                     });
    running->timeLimit.setSingleShot(true);
    QObject::connect(&running->timeLimit, &QTimer::timeout, this, [state] {
        state->killed = true;
        state->kill();
    });

    m_feeds[feedName].running = std::move(running);
    state->timeLimit.start(m_timeLimit);
    process.start();
}

void AfterDownloadCommand::finish(const QString &feedName, const AfterDownloadOutcome &outcome)
{
    const auto found = m_feeds.find(feedName);
    if (found == m_feeds.end() || !found->second.running)
        return;
    Feed &feed = found->second;
    const std::unique_ptr<Running> ended = std::move(feed.running);
    QObject::disconnect(ended->process.get(), nullptr, this, nullptr);
    // Called from the process's own signal: it is deleted once that returns.
    ended->process.release()->deleteLater();
    report(std::move(ended->done), outcome);
    std::optional<Request> next = std::exchange(feed.waiting, std::nullopt);
    if (next)
        start(std::move(*next));
    else
        m_feeds.erase(found);
}

AfterDownloadOutcome AfterDownloadCommand::outcomeOf(const Running &ended, int exitCode,
                                                     QProcess::ExitStatus status) const
{
    if (ended.killed)
        return failed(QStringLiteral("killed after ") + spoken(m_timeLimit));
    QString reason;
    if (status == QProcess::CrashExit)
        reason = QStringLiteral("killed by signal %1").arg(exitCode);
    else if (exitCode != 0)
        reason = QStringLiteral("exit %1").arg(exitCode);
    else
        return {};
    const QString line = firstLine(ended.standardError);
    return failed(line.isEmpty() ? reason : reason + QStringLiteral(": ") + line);
}

void AfterDownloadCommand::report(Done done, AfterDownloadOutcome outcome)
{
    QMetaObject::invokeMethod(
        this, [done = std::move(done), outcome = std::move(outcome)] { done(outcome); }, Qt::QueuedConnection);
}

} // namespace tidewell
