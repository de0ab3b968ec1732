// vanto-convert online page URL
// vanto-convert online download URL... --output-folder DIR
//
// Reads video pages of the video site as the online video dialog does, and downloads their
// streams as the download window does (never replacing a file). Exit status 0 when every page was
// read (and every stream downloaded), 1 otherwise, 2 for a wrong command line.
#include "cli/OnlineCommand.h"

#include <QFileInfo>
#include <cstdio>

#include "app/CommEntity.h"
#include "app/TerminationSignals.h"
#include "cli/CatalogueLoading.h"
#include "online/HttpClient.h"
#include "online/OnlineSites.h"
#include "online/PageAnalysis.h"
#include "online/WorkingFile.h"
#include "online/YouTubePage.h"

namespace {
void PrintHelp(std::FILE* out) {
    std::fputs(
        "usage: vanto-convert online page URL\n"
        "       vanto-convert online download URL... --output-folder DIR\n\n"
        "page: reads the video page at URL and prints its title, identifier, length and stream\n"
        "addresses. download: reads each page and downloads its FLV stream into DIR as\n"
        "IDENTIFIER.flv (a numbered name when that is taken: nothing is replaced), printing\n"
        "\"done PATH\", \"failed URL\" or \"stopped URL\" for each.\n\n"
        "Addresses must be on the video site (the options file's \"video_site\", or the built-in\n"
        "address); requests go through the proxy of the options file when it is on. Ctrl-C stops\n"
        "a download and leaves nothing behind. Exit status 0 when everything succeeded, 1\n"
        "otherwise, 2 for a wrong command line.\n",
        out);
}

void say(const QString& url, const QString& why) {
    std::fprintf(stderr, "vanto-convert online: %s: %s\n", url.toUtf8().constData(), why.toUtf8().constData());
}

// Reads the page at `url` into `entry`; false (with the reason on standard error) when it can't.
bool readPage(THttpClient& http, const QString& url, ListFileInfo& entry) {
    if (!OnlineSites::IsVideoPageAddress(url)) {
        say(url, QStringLiteral("not an address on the video site %1").arg(OnlineSites::VideoSite()));
        return false;
    }
    try {
        PageAnalysis::FetchVideoPage(http, url, entry);
    } catch (const YouTubePage::EPageRefused& e) {
        say(url, QStringLiteral("the page could not be analysed: ") + QString::fromUtf8(e.what()));
        return false;
    } catch (const std::exception& e) {
        say(url, QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

int page(THttpClient& http, const QString& url) {
    ListFileInfo e;
    if (!readPage(http, url, e)) return kExitFailed;
    auto line = [](const char* name, const QString& value) {
        std::printf("%-9s %s\n", name, value.toUtf8().constData());
    };
    line("title", e.YoutubeTitle);
    line("id", e.YoutubeVideId);
    line("length", e.YoutubeLength.isEmpty() ? QString() : e.YoutubeLength + QStringLiteral(" s"));
    line("mp4", e.YoutubeMp4Url);
    line("flv", e.YoutubeFlvUrl);
    return kExitOk;
}

enum class Outcome { Done, Failed, Stopped };

Outcome downloadOne(THttpClient& http, const QString& url, const QString& folder) {
    ListFileInfo e;
    if (!readPage(http, url, e)) return http.IsCancelled() ? Outcome::Stopped : Outcome::Failed;
    if (e.YoutubeFlvUrl.isEmpty()) {
        say(url, QStringLiteral("the page names no FLV stream"));
        return Outcome::Failed;
    }
    // The identifier was checked by the analysis; the name must still stay inside the folder.
    const QString target = folder + '/' + e.YoutubeVideId + QStringLiteral(".flv");
    if (e.YoutubeVideId.isEmpty() || !YouTubePage::IsSafeVideoId(e.YoutubeVideId)) {
        say(url, QStringLiteral("the page gives no usable video identifier"));
        return Outcome::Failed;
    }
    QString error;
    std::unique_ptr<TWorkingFile> file = TWorkingFile::Create(folder, QFileInfo(target).fileName(), 0666, &error);
    if (!file) {
        say(url, error);
        return Outcome::Failed;
    }
    try {
        http.GetToFile(e.YoutubeFlvUrl, *file, THttpClient::FileLimitFor(folder));
    } catch (const EHttpError& err) {
        if (err.Cancelled()) return Outcome::Stopped;
        say(url, QString::fromUtf8(err.what()) + QStringLiteral(", ") + e.YoutubeFlvUrl);
        return Outcome::Failed;
    }
    const QString path = file->MoveToFreeName(target, false, nullptr, &error);
    if (path.isEmpty()) {
        say(url, error);
        return Outcome::Failed;
    }
    std::printf("done     %s\n", path.toUtf8().constData());
    return Outcome::Done;
}

int Run(const std::vector<std::string>& args) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        PrintHelp(args.empty() ? stderr : stdout);
        return args.empty() ? kExitUsage : kExitOk;
    }
    const std::string mode = args[0];
    QStringList urls;
    QString folder;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--output-folder" && i + 1 < args.size())
            folder = QString::fromStdString(args[++i]);
        else if (args[i].size() > 1 && args[i][0] == '-')
            urls << QString();  // marks a wrong command line below
        else
            urls << QString::fromStdString(args[i]);
    }
    const bool usable = mode == "page" ? urls.size() == 1 && !urls[0].isEmpty() && folder.isEmpty()
                                       : mode == "download" && !urls.isEmpty() && !urls.contains(QString()) &&
                                             !folder.isEmpty();
    if (!usable) {
        PrintHelp(stderr);
        return kExitUsage;
    }
    CliApplication cli;
    THttpClient http;
    PageAnalysis::ConfigurePageClient(http, THttpProxy::FromOptions());
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &http, [&http] { http.Cancel(); });
    if (mode == "page") return page(http, urls[0]);

    folder = QFileInfo(folder).absoluteFilePath();
    if (!QFileInfo(folder).isDir()) {
        std::fprintf(stderr, "vanto-convert online: %s is not a folder\n", folder.toUtf8().constData());
        return kExitFailed;
    }
    int status = kExitOk;
    for (const QString& url : urls) {
        // Pages and streams use the same client: the page's size cap does not apply to a stream.
        PageAnalysis::ConfigurePageClient(http, THttpProxy::FromOptions());
        const Outcome outcome = downloadOne(http, url, folder);
        if (outcome == Outcome::Done) continue;
        status = kExitFailed;
        std::printf("%s %s\n", outcome == Outcome::Stopped ? "stopped " : "failed  ", url.toUtf8().constData());
        if (outcome == Outcome::Stopped) break;
    }
    return status;
}
}  // namespace

TCliCommand OnlineCommand() {
    return {"online", "read a video page, or download its stream", &PrintHelp, &Run};
}
