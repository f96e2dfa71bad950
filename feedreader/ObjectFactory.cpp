#include "PlatformObject.h"

#include "DomDocument.h"
#include "HttpRequest.h"
#include "Network.h"
#include "RegExp.h"
#include "RuntimeError.h"

namespace tidewell {

ObjectFactory::ObjectFactory() : m_ownNetwork(std::make_shared<Network>()), m_network(m_ownNetwork.get()) {}

ObjectFactory::ObjectFactory(Network &network) : m_network(&network) {}

ObjectFactory::~ObjectFactory() = default;

std::unique_ptr<PlatformObject> ObjectFactory::CreateObject(const QString &progId) const
{
    const auto is = [&](const char16_t *name) { return progId.compare(QStringView(name), Qt::CaseInsensitive) == 0; };
    if (is(progid::WinHttpRequest))
        return std::make_unique<HttpRequest>(RequestKind::WinHttp, network());
    if (is(progid::XmlHttp))
        return std::make_unique<HttpRequest>(RequestKind::XmlHttp, network());
    if (is(progid::ServerXmlHttp))
        return std::make_unique<HttpRequest>(RequestKind::ServerXmlHttp, network());
    if (is(progid::LegacyXmlHttp))
        return std::make_unique<HttpRequest>(RequestKind::LegacyXmlHttp, network());
    if (is(progid::DomDocument))
        return std::make_unique<DomDocument>();
    if (is(progid::RegExp))
        return std::make_unique<RegExp>();
    throw RuntimeError(errnum::CannotCreateObject, QStringLiteral("ActiveX component can't create object"));
}

} // namespace tidewell
