#pragma once

#include "DomDocument.h"
#include "MarkupText.h"

#include <QString>
#include <QUrl>

#include <memory>
#include <optional>
#include <vector>

namespace tidewell {

// Where each feed type keeps its items and their fields.
struct FeedPaths
{
    QString item;
    QString title;
    QString description;
    QString link;
    // The elements that name an item's media file: the children of this name
    // whose urlAttribute is not blank and, when relMustBeEnclosure, whose rel
    // is "enclosure". RSS and RDF write <enclosure url>, Atom <link
    // rel="enclosure" href>.
    QString enclosure;
    const char *urlAttribute;
    bool relMustBeEnclosure;
};

// 1 RSS, 2 RDF, 3 Atom; none for any other code.
std::optional<FeedPaths> feedPaths(int type);

// ".mp3" in any letter case.
bool containsMp3(QStringView text);

// A loaded feed document and the items the parse step found in it, shared
// by the items: each reads its fields from here when first asked, since a
// caller seldom looks past the first item of thousands.
class ParsedFeed
{
public:
    // documentUrl is where the document came from, after redirects: relative
    // links and enclosures are read against it.
    ParsedFeed(std::shared_ptr<const DomDocument> document, FeedPaths paths, bool allowHtml, QUrl documentUrl);

    // The items the item path selects, in document order.
    const std::vector<DomNode> &items() const { return m_items; }

    // The item's episode: its media URL, resolved against the document's address.
    QString episodeUrl(std::size_t index) const;
    QString title(std::size_t index) const;
    // The description (Atom: content), its mark-up stripped unless HTML is
    // allowed.
    QString description(std::size_t index) const;

private:
    QString resolved(const QString &url) const;

    std::shared_ptr<const DomDocument> m_document;
    FeedPaths m_paths;
    bool m_allowHtml;
    QUrl m_documentUrl;
    std::vector<DomNode> m_items;
};

} // namespace tidewell
