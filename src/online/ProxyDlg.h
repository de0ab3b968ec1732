#pragma once
// "Proxy Settings": the HTTP proxy of the page analysis and the downloads, kept in the options
// store and saved when the dialog is confirmed.

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

class TfrmProxy : public QDialog {
    Q_OBJECT
public:
    explicit TfrmProxy(QWidget* parent = nullptr);  // runs FormCreate

    void FormCreate();
    void ckbEnableProxyClick();
    void btnOKClick();
    void btnCancelClick();

    QCheckBox* ckbEnableProxy;
    QGroupBox* AFGroupBox;
    QLineEdit* txtProxyAddr;
    QLineEdit* txtProxyPort;
    QLineEdit* txtUserName;
    QLineEdit* txtPassword;
    QPushButton* btnOK;
    QPushButton* btnCancel;
};
