#include "profiles/ProfileDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/DialogLook.h"
#include "app/DialogSeam.h"
#include "app/Utils.h"
#include "settings/Lang.h"
#include "settings/Options.h"

TPagesDlg::TPagesDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PagesDlg"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    DialogLook::Apply(this, 440, 332);
    setWindowTitle(GetLangText(QStringLiteral("DlgOptionTitle")));
    using DialogLook::TextOr;

    // Each language is named in its own script, so it can be found whatever the current one.
    MRUCmbLang = new QComboBox;
    MRUCmbLang->setObjectName(QStringLiteral("MRUCmbLang"));
    MRUCmbLang->addItems({QStringLiteral("English"), QStringLiteral("简体中文")});
    lbLangNote = new QLabel(TextOr(QStringLiteral("PrefLangNote"),
                                   QStringLiteral("A new language is used from the next start.")));
    lbLangNote->setWordWrap(true);
    MRUCmbFormat = new QComboBox;
    MRUCmbFormat->setObjectName(QStringLiteral("MRUCmbFormat"));
    MRUCmbFormat->addItems({TextOr(QStringLiteral("PrefJpegImage"), QStringLiteral("JPEG Image (*.jpg)")),
                            TextOr(QStringLiteral("PrefBmpImage"), QStringLiteral("BMP Image (*.bmp)"))});
    EditOutpuDir = new QLineEdit;
    EditOutpuDir->setObjectName(QStringLiteral("EditOutpuDir"));
    btnBrower = new QPushButton(QStringLiteral("..."));
    btnBrower->setObjectName(QStringLiteral("btnBrower"));
    btnBrower->setFixedWidth(32);
    MRUCmbCheckPeriod = new QComboBox;
    MRUCmbCheckPeriod->setObjectName(QStringLiteral("MRUCmbCheckPeriod"));
    // Shown in the language chosen, stored as the words the options file has always held.
    MRUCmbCheckPeriod->addItem(TextOr(QStringLiteral("PrefWeek"), QStringLiteral("Week")), QStringLiteral("Week"));
    MRUCmbCheckPeriod->addItem(TextOr(QStringLiteral("PrefMonth"), QStringLiteral("Month")), QStringLiteral("Month"));
    CkboxAuto = new QCheckBox(
        TextOr(QStringLiteral("PrefAutoUpdate"), QStringLiteral("Check for updates automatically")));
    CkboxAuto->setObjectName(QStringLiteral("CkboxAuto"));
    cmbCPUNumber = new QComboBox;
    cmbCPUNumber->setObjectName(QStringLiteral("cmbCPUNumber"));
    for (int i = 1; i <= 9; ++i)
        cmbCPUNumber->addItem(QString::number(i));
    cmbResumable = new QComboBox;
    cmbResumable->setObjectName(QStringLiteral("cmbResumable"));
    cmbResumable->addItem(TextOr(QStringLiteral("PrefResumableOff"), QStringLiteral("Off")), 0);
    for (int minutes : {1, 2, 5, 10, 20, 30, 60})
        cmbResumable->addItem(FormatText(TextOr(QStringLiteral("PrefResumableMinutes"),
                                                QStringLiteral("Sources of %s minutes or more")),
                                         {QString::number(minutes)}),
                              minutes * 60);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(10);
    int row = 0;
    auto label = [](const QString& key, const QString& fallback) {
        return new QLabel(TextOr(key, fallback));
    };
    grid->addWidget(label(QStringLiteral("PrefLanguage"), QStringLiteral("Language:")), row, 0);
    grid->addWidget(MRUCmbLang, row++, 1, 1, 2);
    grid->addWidget(lbLangNote, row++, 1, 1, 2);
    grid->addWidget(label(QStringLiteral("PrefSnapFormat"), QStringLiteral("Snapshot format:")), row, 0);
    grid->addWidget(MRUCmbFormat, row++, 1, 1, 2);
    grid->addWidget(label(QStringLiteral("PrefSnapFolder"), QStringLiteral("Snapshot folder:")), row, 0);
    grid->addWidget(EditOutpuDir, row, 1);
    grid->addWidget(btnBrower, row++, 2);
    grid->addWidget(label(QStringLiteral("PrefUpdatePeriod"), QStringLiteral("Check for updates every:")),
                    row, 0);
    grid->addWidget(MRUCmbCheckPeriod, row++, 1, 1, 2);
    grid->addWidget(CkboxAuto, row++, 1, 1, 2);
    grid->addWidget(label(QStringLiteral("PrefCpuCount"), QStringLiteral("Conversions at once:")), row, 0);
    grid->addWidget(cmbCPUNumber, row++, 1, 1, 2);
    grid->addWidget(label(QStringLiteral("PrefResumable"), QStringLiteral("Resumable conversion:")), row, 0);
    grid->addWidget(cmbResumable, row++, 1, 1, 2);
    grid->setColumnStretch(1, 1);

    OKBtn = new QPushButton(TextOr(QStringLiteral("btnTreeOk"), QStringLiteral("OK")));
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(TextOr(QStringLiteral("btnTreeCancel"), QStringLiteral("Cancel")));
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {OKBtn, CancelBtn}) {
        b->setMinimumWidth(80);
        buttons->addWidget(b);
    }
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(16, 16, 16, 14);
    page->addLayout(grid);
    page->addStretch(1);
    page->addLayout(buttons);

    const TOptions& o = GetOptions();
    MRUCmbLang->setCurrentIndex(o.LangValue == QLatin1String("en") ? 0 : 1);
    CkboxAuto->setChecked(o.AutoUpdate);
    MRUCmbFormat->setCurrentIndex(
        o.SnapShotFormat >= 0 && o.SnapShotFormat < MRUCmbFormat->count() ? o.SnapShotFormat : -1);
    EditOutpuDir->setText(o.shapShotDir);
    int period = 0;
    for (int i = 0; i < MRUCmbCheckPeriod->count(); ++i)
        if (MRUCmbCheckPeriod->itemData(i).toString().compare(o.UpdatePeriod, Qt::CaseInsensitive) == 0) {
            period = i;
            break;
        }
    MRUCmbCheckPeriod->setCurrentIndex(period);
    // A count above 9 (a machine with more processors) shows no choice and is kept on OK.
    cmbCPUNumber->setCurrentIndex(o.CPUCount >= 1 && o.CPUCount <= 9 ? o.CPUCount - 1 : -1);
    // A threshold set in the options file that is not among the choices is shown, and kept, as it is.
    int resumable = cmbResumable->findData(o.ResumableFromSeconds);
    if (resumable < 0) {
        cmbResumable->addItem(FormatText(TextOr(QStringLiteral("PrefResumableSeconds"),
                                                QStringLiteral("Sources of %s seconds or more")),
                                         {QString::number(o.ResumableFromSeconds)}),
                              o.ResumableFromSeconds);
        resumable = cmbResumable->count() - 1;
    }
    cmbResumable->setCurrentIndex(resumable);

    connect(btnBrower, &QPushButton::clicked, this, &TPagesDlg::btnBrowerClick);
    connect(OKBtn, &QPushButton::clicked, this, &TPagesDlg::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TPagesDlg::reject);
    DialogLook::CentreOverMainWindow(this);
}

void TPagesDlg::btnBrowerClick() {
    QString folder = EditOutpuDir->text();
    if (BrowseForFolder(GetLangText(QStringLiteral("DlgSelSnapShot")), this, folder))
        EditOutpuDir->setText(folder);
}

void TPagesDlg::OKBtnClick() {
    TOptions& o = GetOptions();
    o.LangValue = MRUCmbLang->currentIndex() == 0 ? QStringLiteral("en") : QStringLiteral("zh");
    o.AutoUpdate = CkboxAuto->isChecked();
    if (MRUCmbFormat->currentIndex() >= 0) o.SnapShotFormat = MRUCmbFormat->currentIndex();
    o.shapShotDir = EditOutpuDir->text();
    o.UpdatePeriod = MRUCmbCheckPeriod->currentData().toString();
    bool ok = false;
    const int count = cmbCPUNumber->currentText().toInt(&ok);
    if (ok) o.CPUCount = count;
    o.ResumableFromSeconds = cmbResumable->currentData().toInt();
    try {
        o.SaveOptions();
    } catch (const std::exception& e) {
        MessageDialogs().MessageBox(QString::fromUtf8(e.what()), QStringLiteral("Vanto Video Converter"));
    }
    done(mrOk);
}

void TPagesDlg::reject() {
    done(mrCancel);
}
