#include "tools/CalFileInfoDlg.h"

#include <QFileInfo>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QTreeWidget>

#include "app/DialogLook.h"
#include "app/FileListItem.h"
#include "app/Utils.h"
#include "engine/AVProbe.h"
#include "tools/EntryProbe.h"

TCalFileInfo::TCalFileInfo(QObject* ui, std::vector<Row> rows, TAVProbe* probe, int vBitRate, int aBitRate)
    : ui_(ui), rows_(std::move(rows)), probe_(probe), vBitRate_(vBitRate), aBitRate_(aBitRate) {}

void TCalFileInfo::post(std::function<void()> fn) {
    QMetaObject::invokeMethod(ui_, std::move(fn), Qt::QueuedConnection);
}

void TCalFileInfo::run() {
    QStringList failed;
    std::vector<TFileListItem*> failedRows;
    auto fail = [&](const Row& row, const QString& name) {
        failedRows.push_back(row.item);
        if (!failed.contains(name)) failed << name;
    };
    int step = 0;
    for (const Row& row : rows_) {
        ListFileInfo* e = row.entry;
        if (!e || e->IsYutubeFile || e->HasData) {
            if (probe_) probe_->CloseFile();
            post([this, s = ++step] { OnProgress(s); });
            continue;
        }
        try {
            if (!probe_) throw std::runtime_error("no probe");
            post([this, t = QFileInfo(e->FileName).fileName()] { OnTitle(t); });
            if (ProbeEntry(*probe_, *e)) {
                post([this, item = row.item, d = FormatTime(e->FileDurTime),
                      sz = EstimatedSizeText(vBitRate_, aBitRate_, e->FileDurTime)] { OnRowProbed(item, d, sz); });
            } else {
                // Failed files are named by their full path: two files of the same name in
                // different folders are two entries of the list.
                fail(row, e->FileName);
            }
        } catch (const std::exception&) {
            fail(row, e->FileName.isEmpty() ? row.caption : e->FileName);
        }
        if (probe_) probe_->CloseFile();
        post([this, s = ++step] { OnProgress(s); });
    }
    post([this, failed, failedRows] { OnFinished(failed, failedRows); });
}

TCalFileInfoDlg::TCalFileInfoDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    setWindowTitle(QStringLiteral("Get Video Information"));
    DialogLook::Apply(this, 327, 87);
    lbTitle = new QLabel(this);
    lbTitle->setObjectName(QStringLiteral("lbTitle"));
    lbTitle->setGeometry(18, 16, 291, 18);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setGeometry(18, 44, 291, 16);
    ProgressBar->setTextVisible(false);
    ProgressBar->setValue(0);
    DialogLook::CentreOverMainWindow(this);
}

TCalFileInfoDlg::~TCalFileInfoDlg() {
    if (worker_) {
        worker_->wait();
        delete worker_;
    }
}

void TCalFileInfoDlg::SetUIAndFFTasks(QTreeWidget* list) {
    fileListView_ = list;
    const int count = list->topLevelItemCount();
    ProgressBar->setRange(0, count);
    std::vector<TCalFileInfo::Row> rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i) {
        auto* item = dynamic_cast<TFileListItem*>(list->topLevelItem(i));
        if (item) rows.push_back({item, item->Entry(), item->text(TFileListItem::colName)});
    }
    worker_ = new TCalFileInfo(this, std::move(rows), probe_, VBitRate, ABitRate);
    worker_->OnProgress = [this](int step) { ProgressBar->setValue(step); };
    worker_->OnTitle = [this](const QString& t) { lbTitle->setText(t); };
    worker_->OnRowProbed = [](TFileListItem* item, const QString& duration, const QString& size) {
        item->setText(TFileListItem::colDuration, duration);
        item->setText(TFileListItem::colSize, size);
    };
    worker_->OnFinished = [this](const QStringList& failed, const std::vector<TFileListItem*>& rows) {
        finished(failed, rows);
    };
    worker_->start();
}

void TCalFileInfoDlg::finished(const QStringList& failed, const std::vector<TFileListItem*>& failedRows) {
    worker_->wait();
    for (TFileListItem* row : failedRows)
        delete row;  // frees the entry too
    ErroFileList = failed;
    if (OnPassDone) OnPassDone();
    done_ = true;
    if (isVisible()) done(mrOk);
}

int TCalFileInfoDlg::exec() {
    if (done_) return mrOk;
    return QDialog::exec();
}
