#pragma once
// The seam between program logic and the user's answers. Every message box, question and
// file or folder chooser goes through the installed IMessageDialogs. The window program installs
// the widget implementation; tests install a scripted one; without any, messages go to stderr
// and questions are answered No.

#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

class IMessageDialogs {
public:
    virtual ~IMessageDialogs() = default;
    // TVantoDlg: information dialog with an OK button.
    virtual void ShowInfo(const QString& text) = 0;
    // TVantoAskDlg: two answers (Yes 6 / No 7) or four (Yes 6, Yes to all 10, No 7, No to all 9);
    // closing the window answers Cancel 2. An empty title keeps the default title.
    virtual int AskQuestion(const QString& text, const QString& title, bool multiAsk) = 0;
    // A plain message box with an OK button.
    virtual void MessageBox(const QString& text, const QString& caption) = 0;
    // A plain Yes/No message box; returns 6 or 7.
    virtual int YesNoBox(const QString& text, const QString& caption) = 0;
    // Folder chooser; false when cancelled.
    virtual bool BrowseForFolder(const QString& title, QWidget* owner, QString& path) = 0;
    // Multiple-selection file chooser of existing files; empty when cancelled.
    virtual QStringList OpenFiles(const QString& title, const QString& filter, QWidget* owner) = 0;
    // Shows one of the program's own modal dialogs (rename, file information, failure list,
    // conversion window …) and returns its modal result.
    virtual int ExecDialog(QDialog* dialog) = 0;
};

// Installs the process-wide implementation (not owned); nullptr restores the console fallback.
void InstallMessageDialogs(IMessageDialogs* dialogs);
IMessageDialogs& MessageDialogs();
