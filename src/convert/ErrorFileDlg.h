#pragma once
// Lists the files that could not be read when they were added to the main list.

#include <QDialog>
#include <QStringList>

class QLabel;
class QListWidget;
class QPushButton;

class TErrorFileDlg : public QDialog {
    Q_OBJECT
public:
    explicit TErrorFileDlg(QWidget* parent = nullptr);
    // Fills the list, one path per line in the given order, each followed by its reason when
    // `reasons` has one, and the count label.
    void SetErroFiles(const QStringList& files, const QStringList& reasons = QStringList());

    QLabel* lbInfo;
    QListWidget* lstError;
    QPushButton* btnOk;
};
