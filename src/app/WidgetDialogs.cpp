#include "app/WidgetDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "app/Utils.h"
#include "app/VantoAskDlg.h"
#include "app/VantoDlg.h"

namespace {
QWidget* owningWindow() {
    return QApplication::activeWindow();
}
}  // namespace

void WidgetDialogs::ShowInfo(const QString& text) {
    TVantoDlg dlg(owningWindow());
    dlg.SetInfomation(text);
    dlg.exec();
}

int WidgetDialogs::AskQuestion(const QString& text, const QString& title, bool multiAsk) {
    TVantoAskDlg dlg(owningWindow());
    dlg.SetInfomation(text);
    dlg.SetTitle(title);
    dlg.SetMultiAsk(multiAsk);
    return dlg.exec();
}

void WidgetDialogs::MessageBox(const QString& text, const QString& caption) {
    QMessageBox::information(owningWindow(), caption, text);
}

int WidgetDialogs::YesNoBox(const QString& text, const QString& caption) {
    return QMessageBox::question(owningWindow(), caption, text, QMessageBox::Yes | QMessageBox::No) ==
                   QMessageBox::Yes
               ? mrYes
               : mrNo;
}

bool WidgetDialogs::BrowseForFolder(const QString& title, QWidget* owner, QString& path) {
    const QString chosen = QFileDialog::getExistingDirectory(owner ? owner : owningWindow(), title, path,
                                                             QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) return false;
    path = chosen;
    return true;
}

QStringList WidgetDialogs::OpenFiles(const QString& title, const QString& filter, QWidget* owner) {
    return QFileDialog::getOpenFileNames(owner ? owner : owningWindow(), title, QString(), filter);
}

int WidgetDialogs::ExecDialog(QDialog* dialog) {
    return dialog->exec();
}
