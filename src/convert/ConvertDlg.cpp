#include "convert/ConvertDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <cmath>

#include "app/ButtonArt.h"
#include "app/DialogLook.h"
#include "app/Utils.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
// The percentage cell: a black frame, a green bar of the percentage and the number centred.
class PercentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        bool ok = false;
        const QString text = index.data().toString();
        const int p = text.toInt(&ok);
        const int percent = ok ? p : 0;
        const QRect cell = option.rect;
        if (!ok && !text.isEmpty()) {  // a state such as "Cancelled" instead of a percentage
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        painter->save();
        QRect r = cell.adjusted(1, 1, -1, -1);
        painter->setPen(Qt::black);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(r.adjusted(0, 0, -1, -1));
        r = r.adjusted(2, 2, -2, -2);
        const int w = r.width();
        const int filled = w - static_cast<int>(std::lround(w * (100.0 - percent) / 100.0));
        if (filled > 0)
            painter->fillRect(QRect(r.left(), r.top(), std::min(filled, w), r.height()), QColor(0, 219, 0));
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(cell, Qt::AlignCenter, QString::asprintf("%d%%", percent));
        painter->restore();
    }
};
}  // namespace

TConvertDlg::TConvertDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    DialogLook::Apply(this, 564, 456);
    auto text = [](const char* key) { return DialogLook::TextOr(QLatin1String(key), QLatin1String(key)); };
    setWindowTitle(text("DlgConvertTitle"));
    lbTaskList = new QLabel(text("lbTaskList"), this);
    lbTaskList->move(15, 8);
    lblStepInfo = new QLabel(this);
    lblStepInfo->setObjectName(QStringLiteral("lblStepInfo"));
    lblStepInfo->setGeometry(16, 37, 531, 16);
    lblTimeLeft = new QLabel(this);
    lblTimeLeft->setObjectName(QStringLiteral("lblTimeLeft"));
    lblTimeLeft->setGeometry(297, 8, 250, 16);
    lblTimeLeft->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ListViewConvertList = new QTreeWidget(this);
    ListViewConvertList->setObjectName(QStringLiteral("ListViewConvertList"));
    ListViewConvertList->setGeometry(16, 56, 531, 279);
    ListViewConvertList->setRootIsDecorated(false);
    ListViewConvertList->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewConvertList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewConvertList->setIconSize(QSize(16, 16));
    ListViewConvertList->setHeaderLabels({text("CovertCol_1"), text("CovertCol_2"), text("CovertCol_3")});
    ListViewConvertList->header()->setStretchLastSection(false);
    ListViewConvertList->header()->setSectionsClickable(false);
    for (int c = 0; c < 3; ++c) {
        ListViewConvertList->header()->setSectionResizeMode(c, QHeaderView::Fixed);
        ListViewConvertList->setColumnWidth(c, 25 * (c + 1) + 120);
    }
    ListViewConvertList->setItemDelegateForColumn(2, new PercentDelegate(ListViewConvertList));
    // The names take the width the window gains.
    ListViewConvertList->header()->setSectionResizeMode(0, QHeaderView::Stretch);

    auto* choices = new QLabel(
        DialogLook::TextOr(QStringLiteral("lbWhenDone"), QStringLiteral("When the conversion is done:")),
        this);
    choices->move(16, 341);
    cbOpenTarget = new QCheckBox(text("cbOpenTarget"), this);
    cbOpenTarget->setObjectName(QStringLiteral("cbOpenTarget"));
    cbOpenTarget->move(16, 360);
    cbOpenTarget->setChecked(true);
    cbShutdown = new QCheckBox(text("cbShutdown"), this);
    cbShutdown->setObjectName(QStringLiteral("cbShutdown"));
    cbShutdown->move(16, 390);

    btnRunBackGround = new QPushButton(text("btnBkGround"), this);
    btnRunBackGround->setObjectName(QStringLiteral("btnRunBackGround"));
    btnRunBackGround->setToolTip(text("btnBkGroundTip"));
    btnRunBackGround->setGeometry(257, 414, 75, 25);
    BtnPause = new QPushButton(text("btnPause"), this);
    BtnPause->setObjectName(QStringLiteral("BtnPause"));
    BtnPause->setGeometry(365, 414, 75, 25);
    btnCancel = new QPushButton(text("btnCancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(472, 414, 75, 25);
    using namespace DialogLook;
    Resizable(this, {{lblStepInfo, akLeft | akTop | akRight},
                     {lblTimeLeft, akTop | akRight},
                     {ListViewConvertList, akLeft | akTop | akRight | akBottom},
                     {choices, akBottom},
                     {cbOpenTarget, akBottom},
                     {cbShutdown, akBottom},
                     {btnRunBackGround, akRight | akBottom},
                     {BtnPause, akRight | akBottom},
                     {btnCancel, akRight | akBottom}});
    connect(btnRunBackGround, &QPushButton::clicked, this, &TConvertDlg::btnRunBackGroundClick);
    connect(BtnPause, &QPushButton::clicked, this, &TConvertDlg::BtnPauseClick);
    connect(btnCancel, &QPushButton::clicked, this, &TConvertDlg::btnCancelClick);

    Queue.RowsReset = [this] { showAllRows(); };
    Queue.RowChanged = [this](int row) { showRow(row); };
    Queue.StepChanged = [this] { lblStepInfo->setText(Queue.StepText); };
    Queue.RunEnded = [this](int result) { done(result); };
    DialogLook::CentreOverMainWindow(this);
}

TConvertDlg::~TConvertDlg() {
    Queue.Close();
}

void TConvertDlg::SetFFmpegTasks(TCustomFFmpegTasks* tasks) {
    Queue.SetFFmpegTasks(tasks);
}

bool TConvertDlg::SetTaskData(std::vector<std::unique_ptr<ConvertRecord>> records, bool applyAll,
                              const QString& folder, bool merge) {
    Queue.ResumableFromUs = int64_t(std::max(0, GetOptions().ResumableFromSeconds)) * 1000000;
    return Queue.SetTaskData(std::move(records), applyAll, folder, merge, GetOptions().CPUCount);
}

void TConvertDlg::showAllRows() {
    ListViewConvertList->clear();
    for (int i = 0; i < static_cast<int>(Queue.Rows.size()); ++i)
        showRow(i);
}

void TConvertDlg::showRow(int row) {
    while (ListViewConvertList->topLevelItemCount() <= row)
        new QTreeWidgetItem(ListViewConvertList);
    QTreeWidgetItem* item = ListViewConvertList->topLevelItem(row);
    const TConvertQueue::Row& r = Queue.Rows[row];
    item->setText(0, r.Caption);
    item->setText(1, r.RemainingMs < 0 ? r.Duration
                                       : r.Duration + QStringLiteral("  ") +
                                             FormatText(GetLangText(QStringLiteral("ConvertRowLeft")),
                                                        {FormatTime(r.RemainingMs * 1000)}));
    // A row that failed or was cancelled says why in place of its percentage, and in its tooltip.
    const bool ended = r.State == TConvertQueue::RowState::Cancelled || r.State == TConvertQueue::RowState::Failed;
    item->setText(2, ended ? r.Error : r.Percent);
    const QString why = r.State == TConvertQueue::RowState::Failed ? r.Error : r.Note;
    for (int column = 0; column < 3; ++column)
        item->setToolTip(column, why);
    // The name's tooltip holds it whole, however narrow its column.
    item->setToolTip(0, why.isEmpty() ? r.Caption : r.Caption + QLatin1Char('\n') + why);
    item->setIcon(0, ButtonArt::StatusIcon(r.Icon));
    item->setData(0, Qt::UserRole, r.Icon);
    item->setTextAlignment(1, Qt::AlignCenter);
    const int64_t left = Queue.RunRemainingMs();
    lblTimeLeft->setText(
        left < 0 ? QString()
                 : FormatText(GetLangText(QStringLiteral("ConvertRunLeft")), {FormatTime(left * 1000)}));
}

bool TConvertDlg::IsOpenFolder() const {
    return cbOpenTarget->isChecked();
}
bool TConvertDlg::IsTurnOff() const {
    return cbShutdown->isChecked();
}

void TConvertDlg::BtnPauseClick() {
    const QString pause = DialogLook::TextOr(QStringLiteral("btnPause"), QStringLiteral("btnPause"));
    if (BtnPause->text() == pause) {
        Queue.Pause();
        BtnPause->setText(DialogLook::TextOr(QStringLiteral("btnResume"), QStringLiteral("btnResume")));
    } else {
        Queue.Resume();
        BtnPause->setText(pause);
    }
}

void TConvertDlg::btnCancelClick() {
    if (!Queue.finished) {
        if (Ask(GetLangText(QStringLiteral("CancelAsk_Content"))) != mrYes) return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Queue.Cancel();
    QApplication::restoreOverrideCursor();
    if (!ended_) done(mrCancel);
}

void TConvertDlg::btnCancelClickWithoutAsking() {
    Queue.Cancel();
    if (!ended_) done(mrCancel);
}

void TConvertDlg::btnRunBackGroundClick() {
    if (fRunBackGround) fRunBackGround(this);
}

bool TConvertDlg::FormCloseQuery() {
    if (Queue.finished) return true;
    return Ask(GetLangText(QStringLiteral("CancelAsk_Content"))) == mrYes;
}

void TConvertDlg::reject() {
    if (!FormCloseQuery()) return;
    if (!Queue.finished) Queue.Cancel();
    if (!ended_) done(mrCancel);
}

void TConvertDlg::done(int result) {
    ended_ = true;
    endResult_ = result;
    QDialog::done(result);
}

int TConvertDlg::exec() {
    if (ended_) return endResult_;
    // A loop of its own: QDialog's ends as soon as the window is hidden, and running in the
    // background hides it while the run goes on.
    setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    const QPointer<TConvertDlg> alive(this);
    show();
    inLoop_ = true;
    if (!ended_) loop.exec(QEventLoop::DialogExec);
    if (!alive) return mrCancel;
    inLoop_ = false;
    return endResult_;
}
