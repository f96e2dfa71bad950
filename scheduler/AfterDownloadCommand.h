#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace tidewell {

// The words of a command line as a POSIX shell splits them: blanks between
// words; '...' keeps everything as it is; "..." keeps everything but a
// backslash before $ ` " \ or a line break; a backslash outside quotes keeps
// the next character (and joins lines). Nothing else of a shell happens: no
// variables, no ~, no wildcards, no pipes or redirections. Empty, with
// `error` set, when a quote is left open or the line ends in a backslash.
QStringList SplitCommandLine(const QString &commandLine, QString *error);

// The episode a command runs for.
struct NewEpisode
{
    QString feed; // the feed's name
    QString file; // the episode's full path
    QString url;  // where it came from
};

// Each word with %f, %n and %u replaced by the episode's full path, the
// feed's name and its URL, and %% by %; any other % stays. A value never
// splits or joins words, wherever it stands in one: "%f" alone is one
// argument, and so is --output=%n.mp3.
QStringList ExpandPlaceholders(const QStringList &words, const NewEpisode &episode);

struct AfterDownloadOutcome
{
    enum class Result { Succeeded, Failed, NotRun };
    Result result = Result::Succeeded;
    // Why it failed or did not run: "exit 2: <first line of its standard
    // error>", "killed by signal 9", "killed after 10 minutes", "cannot
    // start \"ffmpeg\": no such program".
    QString reason;

    bool succeeded() const { return result == Result::Succeeded; }
    // Empty on success, else the words that follow a download's outcome:
    // "after-download command failed: exit 2: ...".
    QString text() const;
};

// Runs the user's command after a new episode has replaced a feed's file,
// without a shell and without waiting for it: the outcome arrives later,
// from the event loop, never inside run().
//
// The command gets the episode in its words (see ExpandPlaceholders) and in
// the environment as TIDEWELL_FILE, TIDEWELL_FEED and TIDEWELL_URL, runs in
// the episode's folder with no input and its output discarded, and is
// killed, with whatever it started, when it outlives the time limit.
//
// One command at a time per feed; feeds do not wait for each other. A
// request for a feed whose command still runs waits for it; a newer request
// for that feed replaces the waiting one, which then reports NotRun, since
// the file it named holds the newer episode by then.
//
// Destroying the runner kills what still runs and reports nothing more.
class AfterDownloadCommand : public QObject
{
public:
    using Done = std::function<void(const AfterDownloadOutcome &)>;

    explicit AfterDownloadCommand(std::chrono::milliseconds timeLimit = std::chrono::minutes(10));
    ~AfterDownloadCommand() override;

    // Runs `commandLine` for the episode, or queues it behind the feed's
    // running command; `done` is called once with the outcome. A blank
    // command line runs nothing and succeeds.
    void run(const QString &commandLine, const NewEpisode &episode, Done done);

    bool isRunning(const QString &feed) const;

private:
    struct Request
    {
        QString commandLine;
        NewEpisode episode;
        Done done;
    };
    struct Running;
    struct Feed
    {
        std::unique_ptr<Running> running;
        std::optional<Request> waiting;
    };

    void start(Request request);
    void finish(const QString &feed, const AfterDownloadOutcome &outcome);
    AfterDownloadOutcome outcomeOf(const Running &ended, int exitCode, QProcess::ExitStatus status) const;
    void report(Done done, AfterDownloadOutcome outcome);

    std::chrono::milliseconds m_timeLimit;
    std::map<QString, Feed> m_feeds;
};

} // namespace tidewell
