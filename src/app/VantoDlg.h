#pragma once
// The information dialog: a message and an OK button. Shown through ShowInfo (Utils.h).

#include <QDialog>

class QLabel;
class QPushButton;

class TVantoDlg : public QDialog {
    Q_OBJECT
public:
    explicit TVantoDlg(QWidget* parent = nullptr);
    void SetInfomation(const QString& text);
    void SetTitle(const QString& text);

    QLabel* lbInformation;
    QPushButton* suiBtnOk;
};
