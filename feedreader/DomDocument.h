#pragma once


#include <QByteArray>
#include <QString>

#include <pugixml.hpp>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace tidewell {

class DomDocument;

// A node a path found: an element (or a text, comment ...) or an attribute.
// Paths are XPath 1.0; names match as written, prefix included, whatever
// namespace is declared. A node is valid while its document is alive and
// has not loaded other text.
class DomNode
{
public:
    DomNode() = default;

    bool isNull() const { return !m_node; }
    // The XPath string value: for an element the text of it and of all its
    // descendants joined, CDATA sections included; an attribute's value.
    // A value never holds a tab, CR or LF written in the document (an
    // address or a title written across lines comes out whole); references
    // are decoded after they are left out, so "&#10;" is still a line break.
    QString nodeTypedValue() const;
    // The node's mark-up as the document writes it, without added white space.
    QString xml() const;
    // An element's attribute of that name (prefix included), its value read
    // as nodeTypedValue reads it; empty when there is none.
    QString getAttribute(const char *name) const;
    DomNode selectSingleNode(const QString &path) const;
    std::vector<DomNode> selectNodes(const QString &path) const;

private:
    friend class DomDocument;
    DomNode(const DomDocument *document, const pugi::xpath_node &node) : m_document(document), m_node(node) {}

    const DomDocument *m_document = nullptr;
    pugi::xpath_node m_node;
};

// The XML document: loadXML, xml, selectSingleNode, selectNodes.
class DomDocument
{
public:
    DomDocument();
    ~DomDocument();

    // Parses text as one whole XML document. Text that is not well-formed
    // anywhere leaves the document empty, never half-built. Returns whether
    // it loaded. Pass the text by move: it is released once converted.
    bool loadXML(QString text);
    // loadXML for text held as UTF-8, parsed in its own buffer.
    bool loadUtf8(QByteArray text);
    // Whether xml() would be non-empty, answered without writing it out.
    bool hasContent() const;
    // Why the last load failed: where in the text it was given (a byte
    // offset into its UTF-8), what the parser said, and the text as the
    // parser left it: every character where it was, NULs over some of the
    // delimiters. None after a load that succeeded.
    struct ParseError
    {
        qsizetype offset = 0;
        QString description;
        QByteArray text;
    };
    const std::optional<ParseError> &parseError() const { return m_parseError; }
    // The root element's name as written, prefix included; empty while
    // nothing is loaded.
    QString rootElementName() const;
    // The document as text; empty while nothing is loaded.
    QString xml() const;

    DomNode selectSingleNode(const QString &path) const;
    std::vector<DomNode> selectNodes(const QString &path) const;

private:
    friend class DomNode;
    bool parseText();
    // Each distinct path is compiled once: the parse asks the same few paths
    // of every item. A path that is one plain name is a walk over the
    // children, which costs far less than evaluating the query.
    struct CompiledPath
    {
        QByteArray childName;
        std::unique_ptr<pugi::xpath_query> query;
    };
    const CompiledPath &compiled(const QString &path) const;
    DomNode first(const QString &path, const pugi::xpath_node &context) const;
    std::vector<DomNode> all(const QString &path, const pugi::xpath_node &context) const;

    // pugixml parses in place: the tree points into this text.
    QByteArray m_text;
    pugi::xml_document m_document;
    mutable std::map<QString, CompiledPath> m_paths;
    std::optional<ParseError> m_parseError;
};

} // namespace tidewell
