#pragma once
// The help window: the help pages shipped in the program folder ("help/<language>/", English
// when the language has none), shown in a text browser inside the program, so help works without
// a web browser. Links between the pages stay in the window; web addresses open in the desktop's
// browser. One window per main window, shown without blocking it.

#include <QDialog>

class QTextBrowser;

class THelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget* parent = nullptr);
    // Shows the contents page of the current language; false when no help pages are installed.
    bool ShowContents();
    // The folder the pages are read from.
    static QString PagesFolder();
    QTextBrowser* Browser() const { return browser_; }

private:
    QTextBrowser* browser_;
};
