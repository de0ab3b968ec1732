#pragma once
// The question dialog: two answers (Yes 6, No 7) or, in four-answer mode, Yes 6, Yes to all 10,
// No 7 and No to all 9. Closing it by its frame answers Cancel 2.

#include <QDialog>

class QLabel;
class QPushButton;

class TVantoAskDlg : public QDialog {
    Q_OBJECT
public:
    explicit TVantoAskDlg(QWidget* parent = nullptr);
    void SetInfomation(const QString& text);
    void SetTitle(const QString& text);  // an empty text keeps the current title
    void SetMultiAsk(bool multi);

    QLabel* lbInformation;
    QPushButton* suiBtnOk;  // Yes, two-answer mode
    QPushButton* btnNoA;    // No, two-answer mode
    QPushButton* btnYes;    // four-answer mode
    QPushButton* btnYesAll;
    QPushButton* btnNo;
    QPushButton* btnNoAll;

    void reject() override;  // Escape or the frame's close button: Cancel
};
