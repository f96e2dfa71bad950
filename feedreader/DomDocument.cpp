#include "DomDocument.h"

#include "ErrorNumbers.h"
#include "RuntimeError.h"

#include <cstring>
#include <string>

namespace tidewell {

namespace {

class StringWriter : public pugi::xml_writer
{
public:
    void write(const void *data, size_t size) override { text.append(static_cast<const char *>(data), size); }

    std::string text;
};

bool isText(const pugi::xml_node &node)
{
    return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
}

// pugixml accepts a few things a conforming parser refuses: no element at
// all, more than one top-level element, and text beside the root element.
// Parsed as a fragment, all show in the tree, and this finds them.
std::optional<DomDocument::ParseError> faultOutsideRoot(const pugi::xml_document &document, qsizetype size)
{
    bool rootSeen = false;
    for (const pugi::xml_node &child : document.children()) {
        if (isText(child))
            return DomDocument::ParseError{child.offset_debug(), QStringLiteral("Text outside the root element")};
        if (child.type() != pugi::node_element)
            continue;
        if (rootSeen)
            return DomDocument::ParseError{child.offset_debug(), QStringLiteral("More than one root element")};
        rootSeen = true;
    }
    if (!rootSeen)
        return DomDocument::ParseError{size, QStringLiteral("No document element found")};
    return std::nullopt;
}

// Walks the subtree without recursion: feeds nest as deep as their authors
// like, and the stack is not theirs to spend.
std::string descendantText(const pugi::xml_node &root)
{
    std::string text;
    pugi::xml_node current = root.first_child();
    while (current) {
        if (isText(current))
            text += current.value();
        if (const pugi::xml_node child = current.first_child()) {
            current = child;
            continue;
        }
        while (current != root && !current.next_sibling())
            current = current.parent();
        if (current == root)
            break;
        current = current.next_sibling();
    }
    return text;
}

QString stringValue(const pugi::xml_node &node)
{
    if (node.type() != pugi::node_element && node.type() != pugi::node_document)
        return QString::fromUtf8(node.value());
    // Most elements hold one run of text; skip the walk and the extra copy.
    const pugi::xml_node only = node.first_child();
    if (only && !only.next_sibling() && isText(only))
        return QString::fromUtf8(only.value());
    return QString::fromStdString(descendantText(node));
}

// A path of one name and nothing else: the elements of that name among the
// context's children.
bool isPlainName(const QString &path)
{
    if (path.isEmpty() || !(path.front().isLetter() || path.front() == u'_') || path.contains(u"::") ||
        path.endsWith(u':'))
        return false;
    for (QChar c : path) {
        if (!(c.isLetterOrNumber() || c == u'_' || c == u'-' || c == u'.' || c == u':'))
            return false;
    }
    return true;
}

bool isElementNamed(const pugi::xml_node &node, const char *name)
{
    return node.type() == pugi::node_element && std::strcmp(node.name(), name) == 0;
}

// The child axis of a node found by a path; an attribute has no children.
pugi::xml_object_range<pugi::xml_node_iterator> childrenOf(const pugi::xpath_node &context)
{
    return context.attribute() ? pugi::xml_node().children() : context.node().children();
}

QString escapedAttributeValue(const char *value)
{
    QString text = QString::fromUtf8(value);
    text.replace(u'&', QStringLiteral("&amp;"));
    text.replace(u'<', QStringLiteral("&lt;"));
    text.replace(u'"', QStringLiteral("&quot;"));
    return text;
}

} // namespace

QString DomNode::nodeTypedValue() const
{
    if (const pugi::xml_attribute attribute = m_node.attribute())
        return QString::fromUtf8(attribute.value());
    return m_node.node() ? stringValue(m_node.node()) : QString();
}

QString DomNode::xml() const
{
    if (const pugi::xml_attribute attribute = m_node.attribute())
        return QString::fromUtf8(attribute.name()) + QStringLiteral("=\"") + escapedAttributeValue(attribute.value()) + u'"';
    if (!m_node.node())
        return {};
    StringWriter writer;
    m_node.node().print(writer, "", pugi::format_raw);
    return QString::fromStdString(writer.text);
}

QString DomNode::getAttribute(const char *name) const
{
    return QString::fromUtf8(m_node.node().attribute(name).value());
}

DomNode DomNode::selectSingleNode(const QString &path) const
{
    return m_document ? m_document->first(path, m_node) : DomNode();
}

std::vector<DomNode> DomNode::selectNodes(const QString &path) const
{
    return m_document ? m_document->all(path, m_node) : std::vector<DomNode>();
}

DomDocument::DomDocument() = default;
DomDocument::~DomDocument() = default;

bool DomDocument::loadXML(QString text)
{
    m_document.reset();
    m_text = text.toUtf8();
    text = QString();
    return parseText();
}

bool DomDocument::loadUtf8(QByteArray text)
{
    m_document.reset();
    m_text = std::move(text);
    return parseText();
}

bool DomDocument::parseText()
{
    // The text is already decoded, so the encoding named in its declaration
    // must not be applied a second time.
    const qsizetype size = m_text.size();
    const pugi::xml_parse_result result = m_document.load_buffer_inplace(
        m_text.data(), std::size_t(size), pugi::parse_default | pugi::parse_fragment, pugi::encoding_utf8);
    if (result)
        m_parseError = faultOutsideRoot(m_document, size);
    else
        m_parseError = ParseError{qsizetype(result.offset), QString::fromUtf8(result.description())};
    if (!m_parseError)
        return true;
    m_document.reset();
    m_text.clear();
    return false;
}

bool DomDocument::hasContent() const
{
    return !m_document.first_child().empty();
}

QString DomDocument::rootElementName() const
{
    return QString::fromUtf8(m_document.document_element().name());
}

QString DomDocument::xml() const
{
    if (!hasContent())
        return {};
    StringWriter writer;
    m_document.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return QString::fromStdString(writer.text);
}

DomNode DomDocument::selectSingleNode(const QString &path) const
{
    return first(path, pugi::xpath_node(m_document));
}

std::vector<DomNode> DomDocument::selectNodes(const QString &path) const
{
    return all(path, pugi::xpath_node(m_document));
}

const DomDocument::CompiledPath &DomDocument::compiled(const QString &path) const
{
    auto found = m_paths.find(path);
    if (found != m_paths.end())
        return found->second;
    CompiledPath compiledPath;
    if (isPlainName(path)) {
        compiledPath.childName = path.toUtf8();
    } else {
        try {
            compiledPath.query = std::make_unique<pugi::xpath_query>(path.toUtf8().constData());
        } catch (const pugi::xpath_exception &error) {
            throw RuntimeError(errnum::Fail, QString::fromUtf8(error.what()));
        }
    }
    return m_paths.emplace(path, std::move(compiledPath)).first->second;
}

DomNode DomDocument::first(const QString &path, const pugi::xpath_node &context) const
{
    const CompiledPath &compiledPath = compiled(path);
    if (compiledPath.query) {
        try {
            return DomNode(this, compiledPath.query->evaluate_node(context));
        } catch (const pugi::xpath_exception &error) {
            throw RuntimeError(errnum::Fail, QString::fromUtf8(error.what()));
        }
    }
    const char *name = compiledPath.childName.constData();
    for (const pugi::xml_node &child : childrenOf(context)) {
        if (isElementNamed(child, name))
            return DomNode(this, child);
    }
    return {};
}

std::vector<DomNode> DomDocument::all(const QString &path, const pugi::xpath_node &context) const
{
    const CompiledPath &compiledPath = compiled(path);
    std::vector<DomNode> nodes;
    if (!compiledPath.query) {
        const char *name = compiledPath.childName.constData();
        for (const pugi::xml_node &child : childrenOf(context)) {
            if (isElementNamed(child, name))
                nodes.push_back(DomNode(this, child));
        }
        return nodes;
    }
    pugi::xpath_node_set found;
    try {
        found = compiledPath.query->evaluate_node_set(context);
    } catch (const pugi::xpath_exception &error) {
        throw RuntimeError(errnum::Fail, QString::fromUtf8(error.what()));
    }
    found.sort();
    nodes.reserve(found.size());
    for (const pugi::xpath_node &node : found)
        nodes.push_back(DomNode(this, node));
    return nodes;
}

} // namespace tidewell
