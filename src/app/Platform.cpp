#include "app/Platform.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>
#include <atomic>

#include "app/Utils.h"
#include "settings/Lang.h"

namespace {
class DesktopPlatform : public IPlatform {
public:
    bool OpenDocument(const QString& pathOrAddress) override {
        if (pathOrAddress.isEmpty()) return false;
        const QUrl url = QFileInfo::exists(pathOrAddress)
                             ? QUrl::fromLocalFile(QDir(pathOrAddress).absolutePath())
                             : QUrl::fromUserInput(pathOrAddress);
        return QDesktopServices::openUrl(url);
    }

    bool PowerOff() override {
        QDBusInterface logind(QStringLiteral("org.freedesktop.login1"),
                              QStringLiteral("/org/freedesktop/login1"),
                              QStringLiteral("org.freedesktop.login1.Manager"), QDBusConnection::systemBus());
        if (logind.isValid()) {
            const QDBusMessage reply = logind.call(QStringLiteral("PowerOff"), true);
            if (reply.type() != QDBusMessage::ErrorMessage) return true;
        }
        return QProcess::startDetached(QStringLiteral("systemctl"), {QStringLiteral("poweroff")});
    }
};

DesktopPlatform g_desktop;
std::atomic<IPlatform*> g_installed{nullptr};
}  // namespace

void InstallPlatform(IPlatform* platform) {
    g_installed.store(platform);
}

IPlatform& GetPlatform() {
    IPlatform* p = g_installed.load();
    return p ? *p : g_desktop;
}

bool OpenDocumentReported(const QString& pathOrAddress) {
    if (GetPlatform().OpenDocument(pathOrAddress)) return true;
    ShowInfo(FormatText(GetLangText(QStringLiteral("OpenDocumentFailed")), {pathOrAddress}));
    return false;
}
