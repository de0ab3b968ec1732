#include "tools/CalFileInfoDlg.h"

#include <QFileInfo>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QTreeWidget>
#include <algorithm>

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
    Outcome out;
    auto fail = [&](const Row& row, const QString& name, const QString& reason) {
        out.failedRows.push_back(row.item);
        if (out.failed.contains(name)) return;
        out.failed << name;
        out.reasons << reason;
    };
    int step = 0;
    for (const Row& row : rows_) {
        ListFileInfo* e = row.entry;
        if (!e || e->IsYutubeFile || e->HasData) {
            if (probe_) probe_->CloseFile();
            post([this, s = ++step] { OnProgress(s); });
            continue;
        }
        if (cancel_) {
            out.unprobedRows.push_back(row.item);
            continue;
        }
        try {
            if (!probe_) throw std::runtime_error("no probe");
            post([this, t = QFileInfo(e->FileName).fileName()] { OnTitle(t); });
            ProbeOutcome probed;
            if (ProbeEntry(*probe_, *e, &probed)) {
                // An audio-only source gives an audio-only output: its size is the audio's.
                const int vBitRate = probed.hasVideo ? vBitRate_ : 0;
                const qint64 length =
                    e->FileDurTime > 0 ? e->FileDurTime
                                       : LengthFromFileSize(e->FileSize, e->BitRate,
                                                            std::max(vBitRate, 0) + std::max(aBitRate_, 0));
                post([this, item = row.item, d = FormatTime(e->FileDurTime),
                      sz = EstimatedSizeText(vBitRate, aBitRate_, length)] { OnRowProbed(item, d, sz); });
            } else {
                // Failed files are named by their full path: two files of the same name in
                // different folders are two entries of the list.
                fail(row, e->FileName, probed.reason);
            }
        } catch (const std::exception& ex) {
            fail(row, e->FileName.isEmpty() ? row.caption : e->FileName, QString::fromUtf8(ex.what()));
        }
        if (probe_) probe_->CloseFile();
        post([this, s = ++step] { OnProgress(s); });
    }
    post([this, out] { OnFinished(out); });
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
    worker_->OnFinished = [this](const TCalFileInfo::Outcome& outcome) { finished(outcome); };
    worker_->start();
}

void TCalFileInfoDlg::finished(const TCalFileInfo::Outcome& outcome) {
    worker_->wait();
    for (TFileListItem* row : outcome.failedRows)
        delete row;  // frees the entry too
    for (TFileListItem* row : outcome.unprobedRows)
        delete row;
    ErroFileList = outcome.failed;
    ErroReasonList = outcome.reasons;
    UnprobedCount = static_cast<int>(outcome.unprobedRows.size());
    if (OnPassDone) OnPassDone();
    done_ = true;
    if (isVisible()) done(mrOk);
}

void TCalFileInfoDlg::reject() {
    if (done_) {
        QDialog::reject();
        return;
    }
    if (worker_) worker_->Cancel();
}

int TCalFileInfoDlg::exec() {
    if (done_) return mrOk;
    return QDialog::exec();
}
