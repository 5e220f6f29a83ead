#include "platform/LinkMetadataProvider.h"

#include <QUrlQuery>

bool LinkMetadataProvider::carriesSecret(const QUrl& url)
{
    if (!url.userName().isEmpty() || !url.password().isEmpty())
        return true;
    // A name that holds a marker anywhere counts ("access_token", "apiKey", "X-Amz-Signature"):
    // a preview missed now and then costs less than a sign-in link used up.
    static const char* const markers[] = {
        "token", "code", "key", "sig", "auth", "password", "secret", "session", "otp", "reset"};
    const QUrlQuery query(url);
    for (const auto& [name, value] : query.queryItems(QUrl::FullyDecoded)) {
        Q_UNUSED(value);
        const QString lowered = name.toLower();
        for (const char* marker : markers)
            if (lowered.contains(QLatin1String(marker)))
                return true;
    }
    return false;
}
