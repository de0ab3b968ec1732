#include "online/OnlineSites.h"

#include "settings/Options.h"

namespace {
QString withoutTrailingSlash(QString s) {
    while (s.endsWith('/'))
        s.chop(1);
    return s;
}
}  // namespace

namespace OnlineSites {

QString VideoSite() {
    const QString custom = GetOptions().VideoSite;
    return withoutTrailingSlash(custom.isEmpty() ? QString::fromLatin1(kVideoSite) : custom);
}

QString ImageServer() {
    const QString custom = GetOptions().VideoSite;
    return withoutTrailingSlash(custom.isEmpty() ? QString::fromLatin1(kImageServer) : custom);
}

QString UpdateServer() {
    const QString custom = GetOptions().UpdateServer;
    return withoutTrailingSlash(custom.isEmpty() ? QString::fromLatin1(kUpdateServer) : custom);
}

bool IsVideoPageAddress(const QString& url) {
    const QString site = VideoSite();
    const qsizetype sep = site.indexOf(QLatin1String("://"));
    const QString host = sep < 0 ? site : site.mid(sep + 3);
    for (const char* scheme : {"http://", "https://"})
        if (url.startsWith(QLatin1String(scheme) + host + '/', Qt::CaseInsensitive)) return true;
    return false;
}

}  // namespace OnlineSites
