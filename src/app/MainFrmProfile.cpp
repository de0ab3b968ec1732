// The profile row and the dialogs that tune the output: the profile picker, the conversion
// settings dialog, the profile tree and the preferences.
#include <QApplication>
#include <QPointer>
#include <QScreen>
#include <QThreadPool>
#include <algorithm>
#include <memory>

#include "app/DialogLook.h"
#include "app/DialogSeam.h"
#include "app/FileListItem.h"
#include "app/FrameSinkWidget.h"
#include "app/MainFrm.h"
#include "convert/QualityEstimate.h"
#include "app/Utils.h"
#include "profiles/IconUtils.h"
#include "profiles/ParaInfo.h"
#include "profiles/ProfileDlg.h"
#include "profiles/ProfileMenu.h"
#include "profiles/ProfilePopuMenuBigItem.h"
#include "profiles/ProfilePopuMenuSmallItem.h"
#include "profiles/ProfilePopupMeneu.h"
#include "profiles/StartupProfile.h"
#include "profiles/VantoProfileTree.h"
#include "settings/Lang.h"
#include "settings/Options.h"
#include "settings/SettingDlg.h"

namespace {
bool showable(const TMenuInfo& entry) {
    return !entry.Skip && FormatInfoMap().count(entry.IntID());
}

void saveOptionsReporting() {
    try {
        GetOptions().SaveOptions();
    } catch (const std::exception& e) {
        MessageDialogs().MessageBox(QString::fromUtf8(e.what()), QStringLiteral("Vanto Video Converter"));
    }
}
}  // namespace

void TfrmMain::SetTFormatMenuItem(int id) {
    const TStartupProfile chosen = ChooseStartupProfile({QString::number(id)});
    if (!chosen.Entry) return;
    lbProfile()->setText(chosen.Entry->Name);
    PaneProfile->ImageProfile->setPixmap(chosen.Icon.isNull() ? QPixmap() : QPixmap::fromImage(chosen.Icon));
    PaneProfile->Tag = chosen.ID;
    ListChanged();
    if (TFileListItem* row = SelectedRow(); row && row->Entry()) {
        row->Entry()->formatInfo = GetFormatInfo(chosen.ID);
        if (row->Entry()->formatInfo)
            row->setText(TFileListItem::colFormat, row->Entry()->formatInfo->Format);
    }
}

void TfrmMain::BuildProfileMenu() {
    // The old picker may be the sender of the click that led here (its custom button): it is
    // deleted once that click has been handled.
    if (ProfilePopMenu_) {
        ProfilePopMenu_->hide();
        ProfilePopMenu_.release()->deleteLater();
    }
    ProfilePopMenu_ = std::make_unique<TProfilePopupMeneu>(this);
    TProfilePopupMeneu* menu = ProfilePopMenu_.get();
    menu->SetInvokeControl(PaneProfile);
    menu->OnCustomClick = [this] {
        RunGuarded(QStringLiteral("CustomProfileMeneuClick"), [this] { CustomProfileMeneuClick(); });
    };

    // A category none of whose profiles can be shown is hidden as a whole.
    for (const auto& category : CategoryList()) {
        if (category->Items.empty() || category->Skip) continue;
        bool any = false;
        for (const auto& entry : category->Items)
            any = any || showable(*entry);
        category->Skip = !any;
    }
    for (const auto& category : CategoryList()) {
        if (category->Items.empty() || category->Skip) continue;
        TProfilePopuMenuSmallItem* small = menu->AddMenuItem(category->Title, GetIcon(category->Icon));
        small->setObjectName(QStringLiteral("category_%1").arg(category->ID));
        small->Tag = category->ID;
        small->OnEnter = [menu](TProfilePopuMenuSmallItem*) { menu->SetSmallMenuFocus(); };
        for (const auto& entry : category->Items) {
            if (!showable(*entry)) continue;
            TProfilePopuMenuBigItem* big =
                small->AddBigMenuItem(entry->Name, entry->Description, GetIcon(entry->Icon));
            big->setObjectName(QStringLiteral("profile_%1").arg(entry->ID));
            big->Tag = entry->IntID();
            big->OnClick = [this](TProfilePopuMenuBigItem* item) {
                RunGuarded(QStringLiteral("profileMenuItemClick"),
                           [this, item] { profileMenuItemClick(item); });
            };
            big->OnFocus = [menu](TProfilePopuMenuBigItem*) { menu->SetBigMenuFocus(); };
        }
    }
    const QStringList& recent = GetOptions().ResultList;
    bool ok = false;
    const int id = recent.isEmpty() ? -1 : recent.first().trimmed().toInt(&ok);
    SetTFormatMenuItem(ok ? id : -1);
    menu->AdjustHeight();
}

void TfrmMain::btnProfileClick() {
    if (!ProfilePopMenu_) return;
    TProfilePopupMeneu* menu = ProfilePopMenu_.get();
    const QPoint topLeft = PaneProfile->mapToGlobal(QPoint(0, 0));
    QPoint place(topLeft.x(), topLeft.y() - 1 - menu->height());
    // Kept on the screen: a window near the top edge opens the picker below the row instead.
    if (const QScreen* screen = PaneProfile->screen()) {
        const QRect area = screen->availableGeometry();
        if (place.y() < area.top()) place.setY(topLeft.y() + PaneProfile->height() + 1);
        place.setX(std::clamp(place.x(), area.left(), std::max(area.left(), area.right() - menu->width())));
    }
    menu->move(place);
    menu->Popup();
    PopupMenuPopup();
}

void TfrmMain::PopupMenuPopup() {
    if (!ProfilePopMenu_ || PaneProfile->Tag < 0) return;
    const std::unique_ptr<TFormatInfo> info = GetFormatInfo(PaneProfile->Tag);
    if (!info) return;
    TProfilePopupMeneu* menu = ProfilePopMenu_.get();
    TProfilePopuMenuSmallItem* category = nullptr;
    for (TProfilePopuMenuSmallItem* item : menu->SubItems)
        if (item->Tag == info->Categoryid) category = item;
    if (!category) return;
    category->Select();
    category->SetDefault(true);
    menu->SetCurSmallItem(category);
    for (TProfilePopuMenuBigItem* big : category->SubItems)
        if (big->Tag == info->ID) big->SetDefault(true);
}

void TfrmMain::giveRowsParameters(const TFormatInfo& params, bool categoryTag) {
    QString tag;
    if (categoryTag)
        if (const TCategory* category = FindCategory(params.Categoryid)) tag = category->CategoryTag;
    for (int i = 0; i < RowCount(); ++i) {
        TFileListItem* row = Row(i);
        ListFileInfo* entry = row ? row->Entry() : nullptr;
        if (!entry) continue;
        entry->formatInfo = params.Clone();
        if (categoryTag) entry->CategoryTag = tag;
        row->setText(TFileListItem::colFormat, params.Format);
        row->setText(TFileListItem::colSize,
                     EntrySizeEstimate(*entry, params.EncParam.VideoBitrate, params.EncParam.AudioBitrate));
        if (NeedsQualityEstimate(*entry)) measureQualitySize(entry);
    }
    ListChanged();
}

// Encodes the entry's samples on a pool thread; the row's "~" becomes "~12.34MB" unless the row
// is gone or its settings changed meanwhile.
void TfrmMain::measureQualitySize(const ListFileInfo* entry) {
    std::shared_ptr<ListFileInfo> copy(entry->CloneObj().release());
    QPointer<TfrmMain> window(this);
    QThreadPool::globalInstance()->start([copy, window, entry] {
        const qint64 bytes = EstimateQualitySize(*copy);
        QMetaObject::invokeMethod(
            qApp,
            [copy, window, entry, bytes] {
                if (!window) return;
                for (int i = 0; i < window->RowCount(); ++i) {
                    TFileListItem* row = window->Row(i);
                    if (!row || row->Entry() != entry || !entry->formatInfo) continue;
                    const TEncParam& now = entry->formatInfo->EncParam;
                    const TEncParam& then = copy->formatInfo->EncParam;
                    if (now.Quality != then.Quality || now.VideoEncoder != then.VideoEncoder ||
                        entry->StartTime != copy->StartTime || entry->EndTime != copy->EndTime)
                        return;
                    if (bytes >= 0)
                        row->setText(TFileListItem::colSize,
                                     QStringLiteral("~") + QString::asprintf("%.2f", bytes / 1048576.0) +
                                         QStringLiteral("MB"));
                }
            },
            Qt::QueuedConnection);
    });
}

void TfrmMain::profileMenuItemClick(TProfilePopuMenuBigItem* item) {
    if (!item) return;
    const int id = item->Tag;
    SetTFormatMenuItem(id);
    // The most recent first, each profile once, so older choices are not pushed out of the list.
    TOptions& options = GetOptions();
    options.ResultList.removeAll(QString::number(id));
    options.ResultList.insert(0, QString::number(id));
    if (RowCount() > 0)
        if (const std::unique_ptr<TFormatInfo> params = GetFormatInfo(id)) giveRowsParameters(*params, true);
    saveOptionsReporting();
}

void TfrmMain::CustomProfileMeneuClick() {
    if (ProfilePopMenu_) ProfilePopMenu_->hide();
    TVantoProfileTree tree(this);
    if (MessageDialogs().ExecDialog(&tree) == mrOk) BuildProfileMenu();
}

void TfrmMain::ShowPreferences() {
    TPagesDlg dlg(this);
    MessageDialogs().ExecDialog(&dlg);
}

void TfrmMain::spSkinBtnSettingClick() {
    std::unique_ptr<TFormatInfo> params;
    if (RowCount() > 0) {
        const ListFileInfo* first = Row(0) ? Row(0)->Entry() : nullptr;
        if (first && first->formatInfo) params = first->formatInfo->Clone();
    } else if (PaneProfile->Tag >= 0) {
        params = GetFormatInfo(PaneProfile->Tag);
    }
    if (!params) return;
    TDlgSetting dlg(this);
    dlg.setWindowTitle(GetLangText(QStringLiteral("DlgSettingTitle")));
    dlg.SetFormatInfo(params->Clone());
    dlg.SetMergerValue(CkbMerge->isChecked());
    if (MessageDialogs().ExecDialog(&dlg) == mrCancel || !dlg.SettingObj) return;
    giveRowsParameters(*dlg.SettingObj, false);
    CkbMerge->setChecked(dlg.Merger());
}

void TfrmMain::applyWindowTexts() {
    // Captions of the window's own buttons and labels, in the language chosen.
    using DialogLook::TextOr;
    BtnAdd->setText(TextOr(QStringLiteral("MainBtnAdd"), BtnAdd->text()));
    btnClip->setText(TextOr(QStringLiteral("MainBtnClip"), btnClip->text()));
    Label1->setText(TextOr(QStringLiteral("MainLbProfile"), Label1->text()));
    Label1->adjustSize();
    Label2->setText(TextOr(QStringLiteral("MainLbOutput"), Label2->text()));
    Label2->adjustSize();
    BtnSetting->setText(TextOr(QStringLiteral("MainBtnSetting"), BtnSetting->text()));
    BtnFindTarget->setText(TextOr(QStringLiteral("MainBtnFindTarget"), BtnFindTarget->text()));
    BtnStart->setText(TextOr(QStringLiteral("MainBtnStart"), BtnStart->text()));
    RenderSink->setToolTip(TextOr(QStringLiteral("SoundDisplayHint"), QString()));
    // The preview's buttons and menus, and the tray menu.
    const std::pair<QWidget*, const char*> tips[] = {{BtnPlay, "PreviewPlay"},   {btnPause, "PreviewPause"},
                                                     {BtnStop, "PreviewStop"},   {BtnSnap, "PreviewSnapshot"},
                                                     {BtnVol, "PreviewUnmute"}, {BtnMute, "PreviewMute"}};
    for (const auto& [widget, key] : tips)
        widget->setToolTip(TextOr(QLatin1String(key), widget->toolTip()));
    const std::pair<QAction*, const char*> items[] = {{MenuItemOpenFolder, "SnapOpenFolder"},
                                                      {MenuItemChangeFolder, "SnapChangeFolder"}};
    for (const auto& [action, key] : items)
        action->setText(TextOr(QLatin1String(key), action->text()));
    if (auto* format = qobject_cast<QMenu*>(MenuItemJPG->parent()))
        format->setTitle(TextOr(QStringLiteral("SnapFormat"), format->title()));
    for (QAction* a : PopupMenuTray->actions()) {
        const QString key = a->objectName() == QLatin1String("RestoreItem") ? QStringLiteral("TrayRestore")
                                                                           : QStringLiteral("TrayExit");
        a->setText(TextOr(key, a->text()));
    }
}
