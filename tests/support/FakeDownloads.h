#pragma once

#include "FeedDownloadJob.h"
#include "RuntimeError.h"

#include <QPointer>

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

namespace tidewell::test {

// Downloads that end when the test says, for the scheduling driver: a
// factory, and a record of every job it made.
class FakeDownloads
{
public:
    class Job : public DownloadJob
    {
    public:
        Job(FakeDownloads &owner, qint64 row) : m_owner(owner), m_row(row) {}

        void start(bool) override
        {
            m_started = true;
            m_owner.m_running.emplace_back(this);
            m_owner.m_peak = std::max(m_owner.m_peak, m_owner.runningCount());
            if (m_owner.failAtStart)
                throw RuntimeError(94, QStringLiteral("Invalid use of Null"));
            if (const auto at = m_owner.endAtStart.find(m_row); at != m_owner.endAtStart.end())
                finish(at->second);
        }
        void abort() override
        {
            m_aborted = true;
            finish(outcome(FeedDownloadOutcome::TransferFailed,
                           {Failure::Kind::Stopped, 0, QStringLiteral("the download was stopped")}));
        }
        bool isFinished() const override { return m_finished; }
        const FeedDownloadOutcome &outcome() const override { return m_outcome; }

        // Ends the job with this outcome, as a real one would on the event loop.
        void finish(const FeedDownloadOutcome &outcome)
        {
            if (m_finished)
                return;
            m_finished = true;
            m_outcome = outcome;
            std::erase(m_owner.m_running, this);
            Q_EMIT finished();
        }
        void succeed() { finish(outcome(FeedDownloadOutcome::Downloaded)); }
        void fail(std::optional<qint64> retryAfterSeconds = std::nullopt)
        {
            FeedDownloadOutcome failed =
                outcome(FeedDownloadOutcome::TransferFailed, Failure::http(503, QStringLiteral("Service Unavailable")));
            failed.retryAfterSeconds = retryAfterSeconds;
            finish(failed);
        }

        static FeedDownloadOutcome outcome(FeedDownloadOutcome::Kind kind, const Failure &failure = {})
        {
            FeedDownloadOutcome made;
            made.kind = kind;
            made.failure = failure;
            return made;
        }

        qint64 row() const { return m_row; }
        bool isRunning() const { return m_started && !m_finished; }
        bool wasAborted() const { return m_aborted; }

    private:
        FakeDownloads &m_owner;
        qint64 m_row;
        FeedDownloadOutcome m_outcome;
        bool m_started = false;
        bool m_finished = false;
        bool m_aborted = false;
    };

    DownloadFactory factory()
    {
        return [this](qint64 row) {
            ++m_made[row];
            return std::make_unique<Job>(*this, row);
        };
    }

    // The jobs started and not yet finished, oldest first.
    std::vector<Job *> running() const
    {
        std::vector<Job *> jobs;
        for (const QPointer<Job> &job : m_running) {
            if (job) // the driver may have dropped it unfinished
                jobs.push_back(job);
        }
        return jobs;
    }
    int runningCount() const { return static_cast<int>(running().size()); }
    // The running job of a row, or null.
    Job *of(qint64 row) const
    {
        for (Job *job : running()) {
            if (job->row() == row)
                return job;
        }
        return nullptr;
    }
    // How many jobs were made for the row, whatever became of them.
    int made(qint64 row) const
    {
        const auto found = m_made.find(row);
        return found == m_made.end() ? 0 : found->second;
    }
    // The most jobs that ran at once.
    int peak() const { return m_peak; }

    // Jobs of these rows end with this outcome inside start().
    std::map<qint64, FeedDownloadOutcome> endAtStart;
    // Every start throws a run-time error, as a row that cannot be read does.
    bool failAtStart = false;

private:
    std::vector<QPointer<Job>> m_running;
    std::map<qint64, int> m_made;
    int m_peak = 0;
};

} // namespace tidewell::test
