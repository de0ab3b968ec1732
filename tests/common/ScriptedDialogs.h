#pragma once
// A scripted IMessageDialogs for tests: answers are given in advance, every text is recorded.
// Constructing one installs it; destroying it restores the previous dialogs.

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "app/DialogSeam.h"
#include "common/QtPrinters.h"

class ScriptedDialogs : public IMessageDialogs {
public:
    struct Call {
        QString kind;  // "ShowInfo", "AskQuestion", "MessageBox", "YesNoBox", "BrowseForFolder", "OpenFiles"
        QString text;
        QString title;
        bool multiAsk = false;
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;

    // Answers for AskQuestion and YesNoBox, taken in order; when none is left, defaultAnswer.
    QList<int> answers;
    int defaultAnswer = 7;
    // Answers for BrowseForFolder (an empty string cancels) and OpenFiles, taken in order.
    QStringList folders;
    QList<QStringList> fileLists;
    // Handlers for the program's own modal dialogs, taken in order; each may fill the dialog's
    // fields, run it for real (dialog->exec()) and returns the modal result. Without a handler
    // the dialog is not shown and the answer is OK. Recorded with kind "Dialog", the class name
    // as text and the window title as title.
    QList<std::function<int(QDialog*)>> dialogHandlers;

    QList<Call> calls;
    QStringList texts(const QString& kind = QString()) const;
    int count(const QString& kind) const;

    void ShowInfo(const QString& text) override;
    int AskQuestion(const QString& text, const QString& title, bool multiAsk) override;
    void MessageBox(const QString& text, const QString& caption) override;
    int YesNoBox(const QString& text, const QString& caption) override;
    bool BrowseForFolder(const QString& title, QWidget* owner, QString& path) override;
    QStringList OpenFiles(const QString& title, const QString& filter, QWidget* owner) override;
    int ExecDialog(QDialog* dialog) override;

private:
    int nextAnswer();
    IMessageDialogs* previous_;
};
