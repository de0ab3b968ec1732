#pragma once
// "File Information": the probe's description of one file in a read-only box.

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

class TFileInfoDlg : public QDialog {
    Q_OBJECT
public:
    explicit TFileInfoDlg(QWidget* parent = nullptr);
    void SetFileInfo(const QString& text);

    QPlainTextEdit* txtFileInfo;
    QPushButton* OKBtn;
};
