#include "app/DialogSeam.h"

#include <QTextStream>
#include <atomic>

#include "app/Utils.h"

namespace {
// Used where no window program installed its dialogs (command-line tool): texts go to stderr,
// questions are answered No and choosers are cancelled.
class ConsoleDialogs : public IMessageDialogs {
public:
    void ShowInfo(const QString& text) override { print(text); }
    int AskQuestion(const QString& text, const QString&, bool) override {
        print(text);
        return mrNo;
    }
    void MessageBox(const QString& text, const QString&) override { print(text); }
    int YesNoBox(const QString& text, const QString&) override {
        print(text);
        return mrNo;
    }
    bool BrowseForFolder(const QString&, QWidget*, QString&) override { return false; }
    QStringList OpenFiles(const QString&, const QString&, QWidget*) override { return {}; }
    int ExecDialog(QDialog*) override { return mrCancel; }

private:
    static void print(const QString& text) {
        QTextStream err(stderr);
        err << text << '\n';
    }
};

ConsoleDialogs g_console;
std::atomic<IMessageDialogs*> g_installed{nullptr};
}  // namespace

void InstallMessageDialogs(IMessageDialogs* dialogs) {
    g_installed.store(dialogs);
}

IMessageDialogs& MessageDialogs() {
    IMessageDialogs* d = g_installed.load();
    return d ? *d : g_console;
}
