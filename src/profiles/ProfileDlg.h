#pragma once
// The preferences dialog: language, snapshot format and folder, update check period and switch,
// how many conversions run at once and from which length a source is converted resumably. OK stores the
// choices in the options and saves them; Cancel changes nothing. A new language is used from the next start.
// User-interface thread.

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TPagesDlg : public QDialog {
    Q_OBJECT
public:
    explicit TPagesDlg(QWidget* parent = nullptr);

    void btnBrowerClick();
    void OKBtnClick();
    void reject() override;  // Cancel, the close button and Escape

    QComboBox* MRUCmbLang;
    QComboBox* MRUCmbFormat;
    QLineEdit* EditOutpuDir;
    QPushButton* btnBrower;
    QComboBox* MRUCmbCheckPeriod;
    QCheckBox* CkboxAuto;
    QComboBox* cmbCPUNumber;
    QComboBox* cmbResumable;  // item data: the threshold in seconds, 0 for off
    QLabel* lbLangNote;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
};
