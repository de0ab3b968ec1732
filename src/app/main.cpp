// Program entry: `vanto [FILE|FOLDER]...` opens the window with the files (and the entries of
// the folders) added to its list; --help and --version print and exit without a window.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <exception>

#include "app/MainFrm.h"
#include "app/PreviewerWindow.h"
#include "app/QtDispatcher.h"
#include "app/TerminationSignals.h"
#include "app/WidgetDialogs.h"

namespace {
void PrintHelp(std::FILE* out) {
    std::fputs(
        "usage: vanto [FILE|FOLDER]...\n\n"
        "Opens the Vanto Video Converter window. The files given, and the entries of the folders\n"
        "given, are added to its list and probed, as Add Files does.\n\n"
        "  --help       show this help and exit\n"
        "  --version    show the version and exit\n"
        "  --           every argument after it is a file, even one that starts with '-'\n\n"
        "The window toolkit's own options (-platform NAME, -display DISPLAY, ...) are accepted too.\n"
        "Converting without a window: vanto-convert --help.\n",
        out);
}

// Answers --help and --version, before anything needs a display. -1: go on and open the window.
int EarlyExit(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) break;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintHelp(stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Vanto Video Converter %s\n", VANTO_VERSION);
            return 0;
        }
    }
    return -1;
}

// The files and folders to open; false (with a message) on an option the program doesn't know.
bool StartupPaths(const QStringList& args, QStringList& paths) {
    bool onlyFiles = false;
    for (const QString& arg : args) {
        if (!onlyFiles && arg == QLatin1String("--")) {
            onlyFiles = true;
        } else if (!onlyFiles && arg.startsWith(QLatin1Char('-')) && arg != QLatin1String("-")) {
            std::fprintf(stderr, "vanto: unknown option %s\n\n", arg.toLocal8Bit().constData());
            PrintHelp(stderr);
            return false;
        } else {
            paths << arg;
        }
    }
    return true;
}
// Runs `fn` once, on the event loop right after `window`'s first paint (so after the window's
// first picture has gone to the screen), or after a second when no paint comes (a window that
// starts hidden).
class AfterFirstPaint : public QObject {
public:
    AfterFirstPaint(QWidget* window, std::function<void()> fn) : window_(window), fn_(std::move(fn)) {
        window_->installEventFilter(this);
        QTimer::singleShot(1000, this, [this] { run(); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Paint) {
            window_->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] { run(); });
        }
        return false;
    }

private:
    void run() {
        if (!fn_) return;
        const std::function<void()> fn = std::move(fn_);
        fn_ = nullptr;
        fn();
    }
    QWidget* window_;
    std::function<void()> fn_;
};
}  // namespace

int main(int argc, char** argv) {
    const int early = EarlyExit(argc, argv);
    if (early >= 0) return early;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vanto Video Converter"));
    QApplication::setQuitOnLastWindowClosed(true);
    QStringList paths;
    if (!StartupPaths(QApplication::arguments().mid(1), paths)) return 2;
    WidgetDialogs dialogs;
    InstallMessageDialogs(&dialogs);
    QtDispatcher dispatcher;
    InstallDispatcher(&dispatcher);
    InstallPreviewerWindow();
    int rc = 0;
    try {
        TfrmMain::DeferMediaLibraries = true;
        TfrmMain mainWindow;
        TerminationSignals termination;
        QObject::connect(&termination, &TerminationSignals::terminationRequested, &mainWindow,
                         &TfrmMain::TerminateBySignal);
        // Once the window is painted: the media libraries (reading them is most of a cold
        // start), then the last session's list and the files named here, so the restore
        // question and the probe's progress dialog open over the window.
        AfterFirstPaint afterPaint(&mainWindow, [&mainWindow, paths] {
            mainWindow.LoadMediaLibraries();
            mainWindow.RestoreLastSession();
            if (!paths.isEmpty()) mainWindow.AddStartupPaths(paths);
        });
        mainWindow.show();
        rc = QApplication::exec();
    } catch (...) {
        dialogs.MessageBox(QStringLiteral("System error,please restart application"),
                           QStringLiteral("Vanto Video Converter"));
        rc = 1;
    }
    InstallPreviewSinkFactory(nullptr);
    InstallMessageDialogs(nullptr);
    InstallDispatcher(nullptr);
    return rc;
}
