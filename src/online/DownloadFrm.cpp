#include "online/DownloadFrm.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QUuid>
#include <cmath>

#include "app/CommEntity.h"
#include "app/DialogLook.h"
#include "app/Platform.h"
#include "app/SafeFiles.h"
#include "app/Utils.h"
#include "online/DownloadThread.h"
#include "online/YouTubePage.h"
#include "settings/Options.h"

namespace {
constexpr int kEntryRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;
constexpr int kMaxRole = Qt::UserRole + 2;  // the size the server announced
constexpr int kThreadRole = Qt::UserRole + 3;

// The progress column: a red frame, a tan bar for the percentage and the percentage centred.
class ProgressDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QString text = index.data(Qt::DisplayRole).toString();
        if (text.isEmpty()) return QStyledItemDelegate::paint(p, option, index);
        const int percent = std::clamp(text.toInt(), 0, 100);
        QRect r = option.rect.adjusted(2, 2, -2, -2);
        p->save();
        p->setPen(Qt::red);
        p->drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(2, 2, -2, -2);
        p->fillRect(QRect(r.left(), r.top(), r.width() * percent / 100, r.height()), QColor(160, 148, 88));
        p->setPen(option.palette.color(QPalette::Text));
        p->drawText(r, Qt::AlignCenter, QString::asprintf("%d%%", percent));
        p->restore();
    }
};
}  // namespace

TfrmDownload::TfrmDownload(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    DialogLook::Apply(this, 523, 436);
    ListViewConvertList = new QTreeWidget(this);
    ListViewConvertList->setObjectName(QStringLiteral("ListViewConvertList"));
    ListViewConvertList->setGeometry(10, 10, 503, 370);
    ListViewConvertList->setRootIsDecorated(false);
    ListViewConvertList->setSelectionMode(QAbstractItemView::NoSelection);
    ListViewConvertList->setItemDelegateForColumn(1, new ProgressDelegate(ListViewConvertList));
    ckbDownloadOnly = new QCheckBox(this);
    ckbDownloadOnly->setGeometry(12, 396, 250, 24);
    BtnOpenFolder = new QPushButton(this);
    BtnOpenFolder->setGeometry(300, 394, 110, 28);
    btnCancel = new QPushButton(this);
    btnCancel->setGeometry(420, 394, 92, 28);
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    connect(BtnOpenFolder, &QPushButton::clicked, this, [this] { BtnOpenFolderClick(); });
    FormCreate();
    DialogLook::CentreOverMainWindow(this);
}

TfrmDownload::~TfrmDownload() {
    stopAll();
}

void TfrmDownload::FormCreate() {
    setWindowTitle(DialogLook::TextOr(QStringLiteral("DlgDownloadTitle"), QStringLiteral("Downloading")));
    btnCancel->setText(DialogLook::TextOr(QStringLiteral("btnProxyCancel"), QStringLiteral("Cancel")));
    BtnOpenFolder->setText(
        DialogLook::TextOr(QStringLiteral("BtnOpenFolderT"), QStringLiteral("Open Folder")));
    ckbDownloadOnly->setText(
        DialogLook::TextOr(QStringLiteral("ckbDownloadOnly"), QStringLiteral("Download only")));
    ckbDownloadOnly->setChecked(false);
    ListViewConvertList->setHeaderLabels(
        {DialogLook::TextOr(QStringLiteral("Download_1"), QStringLiteral("Title")),
         DialogLook::TextOr(QStringLiteral("Download_2"), QStringLiteral("Progress"))});
    ListViewConvertList->header()->setSectionResizeMode(QHeaderView::Fixed);
    ListViewConvertList->header()->setStretchLastSection(false);
    ListViewConvertList->setColumnWidth(0, 160);
    ListViewConvertList->setColumnWidth(1, ListViewConvertList->width() - 180);
}

bool TfrmDownload::SetDataList(const std::vector<ListFileInfo*>& list) {
    DataList = list;
    finished = true;
    finshedCount = 0;
    if (DataList.empty()) {
        setResult(mrCancel);
        return false;
    }
    std::vector<std::pair<QTreeWidgetItem*, QString>> refused;
    for (ListFileInfo* entry : DataList) {
        auto* row = new QTreeWidgetItem(ListViewConvertList);
        row->setText(0, entry->YoutubeTitle);
        row->setText(1, QStringLiteral("0"));
        setImage(row, imgWaiting);
        row->setData(0, kEntryRole, QVariant::fromValue(static_cast<void*>(entry)));
        QString why;
        entry->FileName = CheckOutputFile(entry->YoutubeVideId, QStringLiteral(".flv"), &why);
        if (entry->FileName.isEmpty())
            refused.emplace_back(row, why);
        else
            DataQueue.enqueue(row);
    }
    finished = false;
    for (const auto& [row, why] : refused)
        OnDownloadFailed(row, why);
    RunDownload();
    RunDownload();
    return true;
}

bool TfrmDownload::GetIsDownloadOnly() const {
    return ckbDownloadOnly->isChecked();
}

QString TfrmDownload::CheckOutputFile(const QString& baseName, const QString& ext, QString* refusal) {
    if (!baseName.isEmpty() && !YouTubePage::IsSafeVideoId(baseName)) {
        if (refusal)
            *refusal = QStringLiteral("The video identifier \"%1\" can't name a file").arg(YouTubePage::Printable(baseName));
        return QString();
    }
    const QString base = baseName.isEmpty() ? QUuid::createUuid().toString(QUuid::Id128).toUpper() : baseName;
    const QString folder = GetOptions().YouTubeDowloadPath();
    QString path = ReduceSeparators(folder + base + ext);
    if (!SafeFiles::IsDirectlyInside(path, folder)) {
        if (refusal) *refusal = QStringLiteral("%1 is not inside the download folder %2").arg(path, folder);
        return QString();
    }
    auto taken = [this](const QString& p) { return SafeFiles::EntryExists(p) || reserved_.contains(p); };
    const QFileInfo there(path);
    // Another row of this window goes there, or something else than a file is there: no question.
    bool newName = reserved_.contains(path) || (SafeFiles::EntryExists(path) && (there.isSymLink() || !there.isFile()));
    if (!newName && there.isFile()) {
        if (coverExitFileResult == 0 || coverExitFileResult == mrYes || coverExitFileResult == mrNo)
            coverExitFileResult = AskQuestion(
                FormatText(DialogLook::TextOr(QStringLiteral("DlgReplaceDlTitle"), QStringLiteral("%s")),
                           {base + ext}),
                QString(), true);
        newName = coverExitFileResult == mrNo || coverExitFileResult == mrNoToAll;
        // A question closed without an answer keeps nothing of the user's file at risk either.
        if (coverExitFileResult == mrCancel) newName = true;
        if (!newName) replace_.insert(path);
    }
    if (newName) {
        const QString wanted = path;
        for (int n = 1; taken(path); ++n)
            path = NumberedName(wanted, n);
    }
    reserved_.insert(path);
    return path;
}

void TfrmDownload::RunDownload() {
    if (finished || DataQueue.isEmpty()) return;
    QTreeWidgetItem* row = DataQueue.dequeue();
    auto* entry = static_cast<ListFileInfo*>(row->data(0, kEntryRole).value<void*>());
    QString error;
    const QFileInfo target(entry->FileName);
    std::unique_ptr<TWorkingFile> file = TWorkingFile::Create(target.path(), target.fileName(), 0666, &error);
    if (!file) {
        OnDownloadFailed(row, error);
        return;
    }
    const THttpProxy proxy = THttpProxy::FromOptions();
    auto thread =
        std::make_unique<DownloadThread>(entry->YoutubeFlvUrl, std::move(file), [proxy](THttpClient& http) {
            http.ContentType = QStringLiteral("video/x-flv");
            http.SetProxy(proxy);
        });
    row->setData(0, kThreadRole, QVariant::fromValue(static_cast<void*>(thread.get())));
    connect(thread.get(), &DownloadThread::WorkBegin, this, [row](qint64 expected) {
        row->setData(1, kMaxRole, expected);
        row->setText(1, QStringLiteral("0"));
    });
    connect(thread.get(), &DownloadThread::Work, this, [row](qint64 received) {
        const qint64 max = row->data(1, kMaxRole).toLongLong();
        const QString percent = QString::number(max > 0 ? std::lround(received * 100.0 / max) : 0);
        if (row->text(1) != percent) row->setText(1, percent);
    });
    connect(thread.get(), &DownloadThread::WorkEnd, this, [this, row] { OnDownloadFinished(row); });
    connect(thread.get(), &DownloadThread::Failed, this,
            [this, row](const QString& msg) { OnDownloadFailed(row, msg); });
    connect(thread.get(), &DownloadThread::Stopped, this, [this, row] { OnDownloadStopped(row); });
    thread->start();
    threadList.push_back(std::move(thread));
}

DownloadThread* TfrmDownload::threadOf(QTreeWidgetItem* row) const {
    return static_cast<DownloadThread*>(row->data(0, kThreadRole).value<void*>());
}

void TfrmDownload::OnDownloadFinished(QTreeWidgetItem* row) {
    auto* entry = static_cast<ListFileInfo*>(row->data(0, kEntryRole).value<void*>());
    DownloadThread* thread = threadOf(row);
    std::unique_ptr<TWorkingFile> file = thread ? thread->TakeFile() : nullptr;
    if (!file) return OnDownloadFailed(row, QStringLiteral("The download has no file"));
    QString error;
    const QString target = entry->FileName;
    const QString placed = file->MoveToFreeName(target, replace_.contains(target),
                                                [this](const QString& p) { return reserved_.contains(p); }, &error);
    if (placed.isEmpty()) return OnDownloadFailed(row, error);
    reserved_.insert(placed);
    entry->FileName = placed;
    entry->HadDownloaded = true;
    entry->IsYutubeFile = false;
    row->setText(1, QStringLiteral("100"));
    setImage(row, imgDone);
    rowDone();
}

void TfrmDownload::OnDownloadFailed(QTreeWidgetItem* row, const QString& errorMsg) {
    auto* entry = static_cast<ListFileInfo*>(row->data(0, kEntryRole).value<void*>());
    FFMPEGLog.Error(entry->YoutubeFlvUrl + QStringLiteral(": download failed, Error: ") + errorMsg);
    setImage(row, imgFailed);
    row->setToolTip(0, errorMsg);
    rowDone();
}

void TfrmDownload::OnDownloadStopped(QTreeWidgetItem* row) {
    setImage(row, imgStopped);
    row->setToolTip(0, DialogLook::TextOr(QStringLiteral("DownloadStopped"), QStringLiteral("Stopped")));
    rowDone();
}

void TfrmDownload::rowDone() {
    ++finshedCount;
    if (finished) return;
    if (finshedCount < static_cast<int>(DataList.size())) {
        RunDownload();
        return;
    }
    finished = true;
    // Queued, so a window whose every row was refused before it was shown still closes itself
    // once it runs.
    QMetaObject::invokeMethod(this, [this] { done(mrOk); }, Qt::QueuedConnection);
}

void TfrmDownload::btnCancelClick() {
    if (!FormCloseQuery()) return;
    closing_ = true;
    done(mrCancel);
}

void TfrmDownload::BtnOpenFolderClick() {
    OpenDocumentReported(GetOptions().YouTubeDowloadPath());
}

bool TfrmDownload::FormCloseQuery() {
    if (!finished && Ask(DialogLook::TextOr(QStringLiteral("DownloadAsk_Content"),
                                            QStringLiteral("DownloadAsk_Content"))) != mrYes)
        return false;
    stopAll();
    return true;
}

void TfrmDownload::stopAll() {
    for (auto& t : threadList)
        t->Stop();
    for (auto& t : threadList)
        t->wait();
    finished = true;
}

void TfrmDownload::closeEvent(QCloseEvent* event) {
    if (closing_ || result() == mrOk) return event->accept();
    if (!FormCloseQuery()) return event->ignore();
    setResult(mrCancel);
    event->accept();
}

void TfrmDownload::reject() {
    btnCancelClick();
}

void TfrmDownload::setImage(QTreeWidgetItem* row, Image image) {
    static const QStyle::StandardPixmap icons[] = {QStyle::SP_ArrowDown, QStyle::SP_DialogApplyButton,
                                                   QStyle::SP_MessageBoxCritical, QStyle::SP_BrowserStop};
    row->setData(0, kImageRole, static_cast<int>(image));
    row->setIcon(0, QApplication::style()->standardIcon(icons[image]));
}

int TfrmDownload::RowImage(int row) const {
    return ListViewConvertList->topLevelItem(row)->data(0, kImageRole).toInt();
}

QString TfrmDownload::RowProgress(int row) const {
    return ListViewConvertList->topLevelItem(row)->text(1);
}
