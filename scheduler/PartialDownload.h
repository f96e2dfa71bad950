#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <optional>

namespace tidewell {

// What an episode transfer has received so far, kept so that a cut transfer
// can go on from where it stopped instead of from byte zero. It lives in the
// state folder ($XDG_STATE_HOME/Marrowby/Tidewell Episode Keeper/partial/),
// never in the destination folder: those are often synchronised to a phone
// or a car's stick, which must never see half an episode. A partial is kept
// only when it is worth resuming (at least 1 MiB from a server that named a
// strong validator) and for seven days at most.
class PartialDownload
{
public:
    static constexpr qint64 worthKeeping = 1 << 20;

    // Where the bytes came from, so that only the same episode, still the
    // same version of it, is ever continued.
    struct Origin
    {
        QString episodeUrl;  // the link the feed gave
        QString answeredUrl; // the address that sent the bytes, after redirects
        QByteArray validator; // the strong ETag, else the Last-Modified
    };

    // The partial for this destination, with what a former try left there
    // if it is still fresh; stale partials of any destination go.
    explicit PartialDownload(const QString &destination);
    ~PartialDownload();
    PartialDownload(const PartialDownload &) = delete;
    PartialDownload &operator=(const PartialDownload &) = delete;

    // The bytes held that continue the episode at this link, or 0.
    qint64 resumableFor(const QString &episodeUrl) const;
    const std::optional<Origin> &origin() const { return m_origin; }

    // Starts afresh, or goes on after what is held.
    bool open(bool append, QString &error);
    bool write(const char *data, qsizetype size, QString &error);
    // Keeps the bytes, and where they came from, for a later try.
    void remember(const Origin &origin);
    qint64 size() const;
    // Flushes the bytes to the disk and puts them in place of the file at
    // `destination`: a rename when both share a file system, else a copy
    // through a synced temporary file beside it, then a rename.
    bool replace(const QString &destination, QString &error);
    // Keeps the bytes when they are worth resuming, else drops them.
    void keepIfWorthIt();
    void drop();

private:
    QString m_path;
    QString m_originPath;
    QFile m_file;
    std::optional<Origin> m_origin;
};

} // namespace tidewell
