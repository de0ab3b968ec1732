// vanto-convert update [--check] [--download DIR]
//
// Asks the update server which version it offers and prints it beside the installed one; with
// --download also fetches the offered package, verifies its checksum and its signature by the
// release key, and keeps it in DIR. Exit status 0 when the server answered (and, with --download,
// the package was verified and kept), 1 otherwise, 2 for a wrong command line.
#include "cli/UpdateCommand.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>

#include "app/TerminationSignals.h"
#include "cli/CatalogueLoading.h"
#include "online/HttpClient.h"
#include "online/UpdateCheck.h"
#include "online/UpdateSignature.h"
#include "online/WorkingFile.h"
#include "settings/Options.h"

namespace {
void PrintHelp(std::FILE* out) {
    std::fputs(
        "usage: vanto-convert update [--check] [--download DIR]\n\n"
        "Asks the update server (the options file's \"update_server\", or the built-in address)\n"
        "which version it offers and prints the installed and the offered version.\n\n"
        "  --check          only that (the default)\n"
        "  --download DIR   also fetch the offered package, check its SHA-256 checksum and its\n"
        "                   signature by the release key, and keep it in DIR (a numbered name when\n"
        "                   its name is taken). A package that can't be verified is not kept.\n\n"
        "Ctrl-C stops a download and leaves nothing behind. Exit status 0 when the server answered\n"
        "(with --download: the package was verified and kept), 1 otherwise, 2 for a wrong command\n"
        "line.\n",
        out);
}

void fail(const QString& why) {
    std::fprintf(stderr, "vanto-convert update: %s\n", why.toUtf8().constData());
}

int download(THttpClient& http, const QString& folder) {
    QString error;
    std::unique_ptr<TWorkingFile> file = TWorkingFile::Create(folder, UpdateCheck::PackageFileName(), 0666, &error);
    if (!file) {
        fail(error);
        return kExitFailed;
    }
    const QString url = UpdateCheck::InstallerUrl();
    try {
        http.GetToFile(url, *file, THttpClient::FileLimitFor(folder));
    } catch (const EHttpError& e) {
        fail((e.Cancelled() ? QStringLiteral("stopped: ") : QString()) + QString::fromUtf8(e.what()) + QStringLiteral(", ") +
             url);
        return kExitFailed;
    }
    if (!UpdateCheck::VerifyPackage(http, *file, &error)) {
        fail(QStringLiteral("the package could not be verified and was removed: ") + error);
        return kExitFailed;
    }
    const QString path = file->MoveToFreeName(folder + '/' + UpdateCheck::PackageFileName(), false, nullptr, &error);
    if (path.isEmpty()) {
        fail(error);
        return kExitFailed;
    }
    std::printf("verified  %s\n", path.toUtf8().constData());
    return kExitOk;
}

int Run(const std::vector<std::string>& args) {
    QString folder;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--check") continue;
        if (args[i] == "--download" && i + 1 < args.size()) {
            folder = QString::fromStdString(args[++i]);
        } else if (args[i] == "--help" || args[i] == "-h") {
            PrintHelp(stdout);
            return kExitOk;
        } else {
            std::fprintf(stderr, "vanto-convert update: unexpected argument %s\n\n", args[i].c_str());
            PrintHelp(stderr);
            return kExitUsage;
        }
    }
    CliApplication cli;
#ifdef VANTO_TEST_SEAMS
    // Test builds only: the tests' own release key, from the environment.
    std::unique_ptr<TUpdateKeyForTests> testKey;
    UpdateSignature::TPublicKey key;
    if (UpdateSignature::ParsePublicKey(qgetenv("VANTO_TEST_UPDATE_KEY"), &key, nullptr))
        testKey = std::make_unique<TUpdateKeyForTests>(key);
#endif
    if (!folder.isEmpty()) {
        folder = QFileInfo(folder).absoluteFilePath();
        if (!QFileInfo(folder).isDir()) {
            fail(QStringLiteral("%1 is not a folder").arg(folder));
            return kExitFailed;
        }
    }
    THttpClient http;
    UpdateCheck::ConfigureClient(http);
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &http, [&http] { http.Cancel(); });

    QString offered;
    const QString installed = GetOptions().Vesion;
    int order = 0;
    try {
        offered = UpdateCheck::FetchOfferedVersion(http);
        order = UpdateCheck::CompareVersions(offered, installed);
    } catch (const std::exception& e) {
        fail(QString::fromUtf8(e.what()) + QStringLiteral(", ") + UpdateCheck::VersionFileUrl());
        return kExitFailed;
    }
    std::printf("installed %s\noffered   %s (%s)\n", installed.toUtf8().constData(), offered.toUtf8().constData(),
                order > 0 ? "newer" : order == 0 ? "the same" : "older");
    std::fflush(stdout);
    return folder.isEmpty() ? kExitOk : download(http, folder);
}
}  // namespace

TCliCommand UpdateCommand() {
    return {"update", "check the update server, and fetch and verify its package", &PrintHelp, &Run};
}
