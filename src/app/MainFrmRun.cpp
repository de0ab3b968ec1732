// The lower part of the main window: the output folder row and the apply-to-all box.
#include <QDir>

#include "app/DialogSeam.h"
#include "app/FileListItem.h"
#include "app/MainFrm.h"
#include "app/Platform.h"
#include "app/Utils.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
// Saves the options; a file that can't be written is reported and the new value stays in memory.
void saveOptions() {
    try {
        GetOptions().SaveOptions();
    } catch (const std::exception& e) {
        MessageDialogs().MessageBox(QString::fromUtf8(e.what()), QStringLiteral("Vanto Video Converter"));
    }
}
}  // namespace

void TfrmMain::spSkinBtnBrowerClick() {
    QString folder = cmbOutput->currentText();
    if (!BrowseForFolder(GetLangText(QStringLiteral("DlgSelOutput")), this, folder)) return;
    cmbOutput->insertItem(0, folder);
    cmbOutput->setCurrentIndex(0);
    GetOptions().OutPutFolder = folder;
    saveOptions();
}

void TfrmMain::cmbOutputSelect(int index) {
    if (cmbOutput->itemText(index) != QLatin1String("Clear")) return;
    TOptions& o = GetOptions();
    cmbOutput->clear();
    cmbOutput->addItem(o.DefaultOutput);
    cmbOutput->addItem(QStringLiteral("Clear"));
    cmbOutput->setCurrentIndex(0);
    o.OutPutFolder = o.DefaultOutput;
    saveOptions();
}

void TfrmMain::spSkinBtnFindTargetClick() {
    const QString folder = cmbOutput->currentText();
    if (folder.isEmpty() || folder.compare(QLatin1String("clear"), Qt::CaseInsensitive) == 0) return;
    if (!QDir(folder).exists()) QDir().mkpath(folder);
    GetPlatform().OpenDocument(folder);
}

void TfrmMain::CkbApplyAllClick() {
    if (!CkbApplyAll->isChecked()) return;
    const int answer = MessageDialogs().YesNoBox(GetLangText(QStringLiteral("AppleToAll_Content")),
                                                 GetLangText(QStringLiteral("AppleToAll_Title")));
    if (answer != mrYes || RowCount() < 2) return;
    const ListFileInfo* first = Row(0)->Entry();
    for (int i = 1; i < RowCount(); ++i) {
        TFileListItem* row = Row(i);
        row->Entry()->formatInfo = first->formatInfo ? first->formatInfo->Clone() : nullptr;
        row->setText(TFileListItem::colFormat, Row(0)->text(TFileListItem::colFormat));
    }
}
