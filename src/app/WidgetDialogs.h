#pragma once
// The window program's message dialogs: TVantoDlg, TVantoAskDlg, Qt's plain message boxes and
// file and folder choosers. Installed by main(); user-interface thread only.

#include "app/DialogSeam.h"

class WidgetDialogs : public IMessageDialogs {
public:
    void ShowInfo(const QString& text) override;
    int AskQuestion(const QString& text, const QString& title, bool multiAsk) override;
    void MessageBox(const QString& text, const QString& caption) override;
    int YesNoBox(const QString& text, const QString& caption) override;
    bool BrowseForFolder(const QString& title, QWidget* owner, QString& path) override;
    QStringList OpenFiles(const QString& title, const QString& filter, QWidget* owner) override;
    int ExecDialog(QDialog* dialog) override;
};
