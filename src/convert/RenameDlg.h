#pragma once
// "Rename output filename": edits the output base name of one file of the main list.

#include <QDialog>

class QLineEdit;
class QPushButton;

class TRenameDlg : public QDialog {
    Q_OBJECT
public:
    explicit TRenameDlg(QWidget* parent = nullptr);
    void SetOrgName(const QString& name);
    QString GetNewName() const;

    QLineEdit* txtNewName;
    QPushButton* btnOk;
    QPushButton* btnCancel;
};
