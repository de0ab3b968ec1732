// Program entry: no command-line arguments are read.
#include <QApplication>
#include <exception>

#include "app/MainFrm.h"
#include "app/PreviewerWindow.h"
#include "app/QtDispatcher.h"
#include "app/TerminationSignals.h"
#include "app/WidgetDialogs.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vanto Video Converter"));
    QApplication::setQuitOnLastWindowClosed(true);
    WidgetDialogs dialogs;
    InstallMessageDialogs(&dialogs);
    QtDispatcher dispatcher;
    InstallDispatcher(&dispatcher);
    InstallPreviewerWindow();
    int rc = 0;
    try {
        TfrmMain mainWindow;
        TerminationSignals termination;
        QObject::connect(&termination, &TerminationSignals::terminationRequested, &mainWindow,
                         &TfrmMain::TerminateBySignal);
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
