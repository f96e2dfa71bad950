#include "PlatformObject.h"

#include "DomDocument.h"
#include "HttpRequest.h"
#include "RegExp.h"
#include "RuntimeError.h"

namespace tidewell {

std::unique_ptr<PlatformObject> ObjectFactory::CreateObject(const QString &progId) const
{
    const auto is = [&](const char16_t *name) { return progId.compare(QStringView(name), Qt::CaseInsensitive) == 0; };
    if (is(progid::WinHttpRequest))
        return std::make_unique<HttpRequest>(RequestKind::WinHttp);
    if (is(progid::XmlHttp))
        return std::make_unique<HttpRequest>(RequestKind::XmlHttp);
    if (is(progid::ServerXmlHttp))
        return std::make_unique<HttpRequest>(RequestKind::ServerXmlHttp);
    if (is(progid::LegacyXmlHttp))
        return std::make_unique<HttpRequest>(RequestKind::LegacyXmlHttp);
    if (is(progid::DomDocument))
        return std::make_unique<DomDocument>();
    if (is(progid::RegExp))
        return std::make_unique<RegExp>();
    throw RuntimeError(errnum::CannotCreateObject, QStringLiteral("ActiveX component can't create object"));
}

} // namespace tidewell
