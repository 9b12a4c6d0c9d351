#include "transfer/compare/versioncomparer.h"

#include "transfer/compare/builtincomparer.h"
#include "transfer/compare/libreoffice.h"
#include "transfer/compare/libreofficecomparer.h"

#include <QStringList>

namespace {

VersionComparer::Factory &installedFactory()
{
    static VersionComparer::Factory factory;
    return factory;
}

} // namespace

VersionComparer *VersionComparer::create(const QString &extension, QObject *parent)
{
    if (installedFactory())
        return installedFactory()(extension, parent);
    if (LibreOfficeComparer::handles(extension) && LibreOffice::isAvailable())
        return new LibreOfficeComparer(parent);
    return new BuiltinComparer(parent);
}

void VersionComparer::setFactory(Factory factory)
{
    installedFactory() = std::move(factory);
}

bool VersionComparer::isComparable(const QString &extension)
{
    static const QStringList comparable{"doc", "docx", "ppt", "pptx", "odt", "rtf", "txt", "md"};
    return comparable.contains(extension.trimmed().toLower());
}
