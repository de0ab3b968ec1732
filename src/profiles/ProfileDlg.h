#pragma once
// The preferences dialog: language, snapshot format and folder, update check period and switch,
// and how many conversions run at once. OK stores the choices in the options and saves them;
// Cancel changes nothing. A new language is used from the next start. User-interface thread.

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
    QLabel* lbLangNote;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
};
