// The interface in Chinese: every text a user sees in the main window, its menus, the picker, the
// preferences, the profile tree and the run's windows is Chinese, apart from names of formats,
// codecs, devices, languages and the product.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QRegularExpression>
#include <QTextDocument>
#include <QTreeWidget>
#include <set>

#include "app/MainFrm.h"
#include "common/MediaFixtures.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "convert/ConvertDlg.h"
#include "convert/ErrorFileDlg.h"
#include "profiles/ProfilePopupMeneu.h"
#include "settings/Options.h"
#include "tools/FileInfoDlg.h"

namespace {
// Where each text was seen, for the failure message.
using Texts = QList<std::pair<QString, QString>>;

void add(Texts& out, const QObject* where, const QString& text) {
    if (!text.trimmed().isEmpty()) out.append({where->objectName() + "/" + where->metaObject()->className(), text});
}

void collect(QWidget* window, Texts& out) {
    add(out, window, window->windowTitle());
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);
    for (QWidget* w : widgets) {
        if (w != window && !w->isVisibleTo(window) && !qobject_cast<QMenu*>(w)) continue;
        add(out, w, w->toolTip());
        if (auto* l = qobject_cast<QLabel*>(w)) {
            QTextDocument plain;
            plain.setHtml(l->text());
            add(out, w, plain.toPlainText());
        } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            add(out, w, b->text());
        } else if (auto* c = qobject_cast<QComboBox*>(w); c && !c->isEditable()) {
            for (int i = 0; i < c->count(); ++i)
                add(out, w, c->itemText(i));
        } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
            add(out, w, g->title());
        } else if (auto* h = qobject_cast<QHeaderView*>(w)) {
            for (int i = 0; i < h->count(); ++i)
                add(out, w, h->model()->headerData(i, h->orientation()).toString());
        } else if (auto* m = qobject_cast<QMenu*>(w)) {
            add(out, w, m->title());
            for (QAction* a : m->actions())
                add(out, w, a->text());
        }
    }
}

// Latin words that may stay: format, codec, device and product names and units.
bool allowed(const QString& word) {
    static const std::set<QString> names{
        "iPod", "iPhone", "iPad", "Apple", "TV", "Android", "Windows", "Phone", "Media", "BlackBerry",
        "PlayStation", "Xbox", "QuickTime", "Matroska", "Sorenson", "Spark", "Flash", "WebM", "Vorbis",
        "Opus", "Ogg", "Xvid", "kHz", "Hz", "kbps", "fps", "classic", "nano", "touch", "Vanto", "Video",
        "Converter", "Vantosoft", "x", "p", "i", "English", "aac", "flac", "opus", "vorbis", "pcm", "flv", "jpg", "bmp"};
    static const QRegularExpression upper(QStringLiteral("^[A-Z0-9]+[a-z]?$"));  // MP4, AAC, H, 720p
    static const QRegularExpression encoder(QStringLiteral("^(lib)?[a-z]+[0-9][a-z0-9]*$"));  // libx264, mpeg4
    return names.count(word) || upper.match(word).hasMatch() || encoder.match(word).hasMatch();
}
}  // namespace

TEST(ChineseInterface, EveryVisibleTextIsChineseButFormatAndCodecNames) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    GetOptions().LangValue = "zh";
    TfrmMain w;
    Texts texts;
    const QString clip = QString::fromStdString(fixtures::Clip("chinese.mp4", 1, 160, 120, 25));
    const QString gone = sandbox.root() + "/chinese_gone.mp4";
    QFile::copy(clip, gone);
    // A file that is no media: the Unreadable Files window lists it with its reason.
    const QString bad = sandbox.root() + "/chinese_bad.mp4";
    fixtures::WriteFile(bad.toStdString(), std::string(4096, 'x'));
    dialogs.dialogHandlers << [&texts](QDialog* d) {
        collect(d, texts);
        for (QListWidget* list : d->findChildren<QListWidget*>())
            for (int i = 0; i < list->count(); ++i)
                add(texts, list, list->item(i)->text());
        return 1;
    };
    w.AddVideFiles({clip, gone, bad});
    ASSERT_EQ(w.RowCount(), 2);
    ASSERT_EQ(dialogs.texts("Dialog"), QStringList{"TErrorFileDlg"});
    collect(&w, texts);
    w.btnProfileClick();
    collect(w.ProfilePopMenu(), texts);
    w.btnProfileClick();
    // The dialogs the window opens, each looked at and cancelled.
    for (int i = 0; i < 2; ++i)
        dialogs.dialogHandlers << [&texts](QDialog* d) {
            collect(d, texts);
            return 2;
        };
    QString settingsName;  // the settings dialog names the profile as the profile row does
    dialogs.dialogHandlers << [&texts, &settingsName](QDialog* d) {
        collect(d, texts);
        if (auto* name = d->findChild<QLabel*>(QStringLiteral("lbProfileName"))) settingsName = name->text();
        return 2;
    };
    w.ShowPreferences();
    w.CustomProfileMeneuClick();
    w.spSkinBtnSettingClick();
    EXPECT_EQ(dialogs.count("Dialog"), 4);
    EXPECT_EQ(settingsName, w.lbProfile()->text());
    TConvertDlg convert;
    TErrorFileDlg errors;
    errors.SetErroFiles({"a.mp4"}, {""});
    TFileInfoDlg info;
    for (QWidget* d : std::initializer_list<QWidget*>{&convert, &errors, &info})
        collect(d, texts);

    // A run in which one file has gone since it was listed: its row's reason and the finish
    // message that names it.
    QFile::remove(gone);
    w.cmbOutput->setEditText(sandbox.root() + "/out");
    dialogs.dialogHandlers << [&texts](QDialog* d) {
        auto* run = qobject_cast<TConvertDlg*>(d);
        run->cbOpenTarget->setChecked(false);
        const int result = run->exec();
        collect(run, texts);
        for (int i = 0; i < run->ListViewConvertList->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = run->ListViewConvertList->topLevelItem(i);
            for (int c = 0; c < row->columnCount(); ++c) {
                add(texts, run->ListViewConvertList, row->text(c));
                add(texts, run->ListViewConvertList, row->toolTip(c));
            }
        }
        return result;
    };
    w.BtnStartClick();
    const QStringList finish = dialogs.texts("ShowInfo");
    ASSERT_EQ(finish.size(), 1);
    EXPECT_TRUE(finish[0].contains("chinese_gone")) << finish[0].toStdString();
    for (const QString& text : finish)
        texts.append({"finish message", text});

    static const QRegularExpression words(QStringLiteral("[A-Za-z][A-Za-z0-9]*"));  // libx264 is one word
    QStringList english;
    // File names and paths are the user's, not the interface's.
    static const QRegularExpression names(QStringLiteral("(/[^\\s:：“”]+)|([\\w.-]*(chinese|a\\.mp4)[\\w.()-]*)"));
    for (const auto& [where, shown] : texts) {
        const QString text = QString(shown).remove(names);
        auto it = words.globalMatch(text);
        while (it.hasNext()) {
            const QString word = it.next().captured();
            if (!allowed(word)) {
                english << where + ": " + text;
                break;
            }
        }
    }
    // The toolkit's own dialogs (standard buttons, file choosers) speak Chinese too.
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString::fromUtf8("取消"));
    english.removeDuplicates();
    EXPECT_TRUE(english.isEmpty()) << english.join("\n").toStdString();
}
