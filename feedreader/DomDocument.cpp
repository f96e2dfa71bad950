#include "DomDocument.h"

#include <stdexcept>


#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

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
            return DomDocument::ParseError{child.offset_debug(), QStringLiteral("Text outside the root element"), {}};
        if (child.type() != pugi::node_element)
            continue;
        if (rootSeen)
            return DomDocument::ParseError{child.offset_debug(), QStringLiteral("More than one root element"), {}};
        rootSeen = true;
    }
    if (!rootSeen)
        return DomDocument::ParseError{size, QStringLiteral("No document element found"), {}};
    return std::nullopt;
}

// The parser leaves references, line ends and white space in attribute
// values as written (values are made when read, valueText below), so that it
// moves no character in the text it parses in place: a fault's offset then
// tells its line and column (ResponseCleaning.h).
constexpr unsigned parseOptions = pugi::parse_cdata | pugi::parse_fragment;

int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
        return (c | 0x20) - 'a' + 10;
    return -1;
}

// Appends what the reference at the start of `text` ("&lt;", "&#233;",
// "&#xE9;" ...) stands for and returns its length; 0, appending nothing, for
// text that is no reference, which then stands as written.
std::size_t appendReference(std::string &out, std::string_view text)
{
    static constexpr std::pair<std::string_view, char> named[] = {
        {"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"apos;", '\''}, {"quot;", '"'}};
    const std::string_view rest = text.substr(1);
    if (!rest.starts_with('#')) {
        for (const auto &[name, character] : named) {
            if (rest.starts_with(name)) {
                out += character;
                return name.size() + 1;
            }
        }
        return 0;
    }
    const bool hex = rest.starts_with("#x");
    const int base = hex ? 16 : 10;
    const std::size_t firstDigit = hex ? 2 : 1;
    std::size_t length = firstDigit;
    char32_t code = 0;
    for (; length < rest.size(); ++length) {
        const int digit = digitValue(rest[length]);
        if (digit < 0 || digit >= base)
            break;
        code = code * char32_t(base) + char32_t(digit);
        if (code > 0x10FFFF)
            return 0;
    }
    if (length == firstDigit || length == rest.size() || rest[length] != ';' || code == 0 ||
        (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    out += QString::fromUcs4(&code, 1).toStdString();
    return length + 2; // the '&' and the ';'
}

// A text or attribute value as the feed means it: the tab, CR and LF written
// in the document left out, then (but not in a CDATA section) references
// decoded.
void appendValue(std::string &out, const char *raw, bool decodeReferences)
{
    std::string kept;
    for (const char *c = raw; *c; ++c) {
        if (*c != '\t' && *c != '\n' && *c != '\r')
            kept += *c;
    }
    if (!decodeReferences) {
        out += kept;
        return;
    }
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const std::size_t length = kept[i] == '&' ? appendReference(out, std::string_view(kept).substr(i)) : 0;
        if (length == 0)
            out += kept[i];
        else
            i += length - 1;
    }
}

void appendText(std::string &out, const pugi::xml_node &node)
{
    appendValue(out, node.value(), node.type() == pugi::node_pcdata);
}

// Walks the subtree without recursion: feeds nest as deep as their authors
// like, and the stack is not theirs to spend.
std::string descendantText(const pugi::xml_node &root)
{
    std::string text;
    pugi::xml_node current = root.first_child();
    while (current) {
        if (isText(current))
            appendText(text, current);
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

QString valueText(const char *raw)
{
    std::string value;
    appendValue(value, raw, true);
    return QString::fromStdString(value);
}

QString stringValue(const pugi::xml_node &node)
{
    if (node.type() != pugi::node_element && node.type() != pugi::node_document) {
        std::string value;
        appendText(value, node);
        return QString::fromStdString(value);
    }
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

QString escapedAttributeValue(QString text)
{
    text.replace(u'&', QStringLiteral("&amp;"));
    text.replace(u'<', QStringLiteral("&lt;"));
    text.replace(u'"', QStringLiteral("&quot;"));
    return text;
}

} // namespace

QString DomNode::nodeTypedValue() const
{
    if (const pugi::xml_attribute attribute = m_node.attribute())
        return valueText(attribute.value());
    return m_node.node() ? stringValue(m_node.node()) : QString();
}

QString DomNode::xml() const
{
    if (const pugi::xml_attribute attribute = m_node.attribute())
        return QString::fromUtf8(attribute.name()) + QStringLiteral("=\"") + escapedAttributeValue(nodeTypedValue()) + u'"';
    if (!m_node.node())
        return {};
    // The text is held as written, references and all.
    StringWriter writer;
    m_node.node().print(writer, "", pugi::format_raw | pugi::format_no_escapes);
    return QString::fromStdString(writer.text);
}

QString DomNode::getAttribute(const char *name) const
{
    return valueText(m_node.node().attribute(name).value());
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
    // pugixml overwrites the last byte it is given with a NUL before it
    // starts, so it is given the text's terminating NUL too: otherwise a last
    // character (one stray after the root element, say) would go unseen. An
    // empty text has no buffer of its own to be written in.
    const qsizetype size = m_text.size();
    const pugi::xml_parse_result result =
        size == 0 ? m_document.load_buffer_inplace(nullptr, 0, parseOptions, pugi::encoding_utf8)
                  : m_document.load_buffer_inplace(m_text.data(), std::size_t(size) + 1, parseOptions,
                                                   pugi::encoding_utf8);
    if (result)
        m_parseError = faultOutsideRoot(m_document, size);
    else
        m_parseError = ParseError{std::min(qsizetype(result.offset), size), QString::fromUtf8(result.description()), {}};
    if (!m_parseError)
        return true;
    m_document.reset();
    m_parseError->text = std::exchange(m_text, QByteArray());
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
    m_document.save(writer, "", pugi::format_raw | pugi::format_no_declaration | pugi::format_no_escapes,
                    pugi::encoding_utf8);
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
            throw std::runtime_error(error.what());
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
            throw std::runtime_error(error.what());
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
        throw std::runtime_error(error.what());
    }
    found.sort();
    nodes.reserve(found.size());
    for (const pugi::xpath_node &node : found)
        nodes.push_back(DomNode(this, node));
    return nodes;
}

} // namespace tidewell
