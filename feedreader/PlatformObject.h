#pragma once

#include <QString>

#include <memory>

namespace tidewell {

class Network;

// Base of the objects the reader makes by programmatic identifier: the four
// request objects, the XML document and the regular-expression engine. The
// reader asks for them by name, as it always has, and casts to what it needs.
class PlatformObject
{
public:
    virtual ~PlatformObject() = default;
};

// Makes platform objects by identifier. The reader holds one and tests hand
// it their own, to make an identifier fail or to route requests differently.
class ObjectFactory
{
public:
    // Requests then go through a network object of the factory's own.
    ObjectFactory();
    explicit ObjectFactory(Network &network);
    virtual ~ObjectFactory();

    Network &network() const { return *m_network; }

    // Identifiers compare without regard to letter case, as registered names
    // always have. Throws RuntimeError for an identifier nobody provides.
    virtual std::unique_ptr<PlatformObject> CreateObject(const QString &progId) const;

private:
    std::shared_ptr<Network> m_ownNetwork;
    Network *m_network;
};

namespace progid {
inline constexpr char16_t WinHttpRequest[] = u"WinHttp.WinHttpRequest.5";
inline constexpr char16_t XmlHttp[] = u"MSXML2.XMLHTTP";
inline constexpr char16_t ServerXmlHttp[] = u"MSXML2.ServerXMLHTTP";
inline constexpr char16_t LegacyXmlHttp[] = u"Microsoft.XMLHTTP";
inline constexpr char16_t DomDocument[] = u"MSXML.DomDocument";
inline constexpr char16_t RegExp[] = u"VBScript.RegExp";
} // namespace progid

} // namespace tidewell
