#include "history/SmartFilter.h"

#include "history/ClipItemViewModel.h"

SmartFilter SmartFilter::app(const QString& bundleID, const QString& name)
{
    SmartFilter filter(Kind::app);
    filter.m_bundleID = bundleID;
    filter.m_name = name;
    return filter;
}

bool SmartFilter::letsThrough(const ClipItemViewModel& model) const
{
    switch (m_kind) {
    case Kind::all:
        return true;
    case Kind::images:
        return model.hasImage;
    case Kind::links:
        return model.isURL || model.hasLinkPreview;
    case Kind::fcp:
        return model.hasFCPContent;
    case Kind::app:
        return model.appBundleID == m_bundleID;
    }
    return false;
}

QString SmartFilter::label() const
{
    switch (m_kind) {
    case Kind::all:
        return QStringLiteral("All");
    case Kind::images:
        return QStringLiteral("Images");
    case Kind::links:
        return QStringLiteral("Links");
    case Kind::fcp:
        return QStringLiteral("FCP");
    case Kind::app:
        return m_name;
    }
    return {};
}

QString SmartFilter::symbolName() const
{
    switch (m_kind) {
    case Kind::all:
        return {};
    case Kind::images:
        return QStringLiteral("photo");
    case Kind::links:
        return QStringLiteral("link");
    case Kind::fcp:
        return QStringLiteral("film");
    case Kind::app:
        return QStringLiteral("app");
    }
    return {};
}
