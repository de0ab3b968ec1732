// The real-world sources through the window: added to the list, converted by a run with the
// default MP4 profile, each output checked against its source.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <set>

#include "RealSourcesCorpus.h"
#include "app/MainFrm.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "convert/ConvertDlg.h"
#include "settings/Lang.h"

TEST(RealSourcesWindow, EveryKindConvertsFromTheList) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    TfrmMain w;
    std::vector<const corpus::Kind*> kinds;
    std::set<std::string> sources;
    QStringList files;
    for (const corpus::Kind& kind : corpus::Kinds()) {
        const std::string source = kind.source();
        if (kind.profile != 1055 || !sources.insert(source).second) continue;
        kinds.push_back(&kind);
        files << QString::fromStdString(source);
    }
    w.AddVideFiles(files);
    ASSERT_EQ(w.RowCount(), files.size()) << "a source was refused by the list";
    const QString out = sandbox.root() + "/out";
    w.cmbOutput->setEditText(out);
    dialogs.dialogHandlers << [](QDialog* d) {
        auto* dlg = qobject_cast<TConvertDlg*>(d);
        dlg->cbOpenTarget->setChecked(false);
        return dlg->exec();
    };
    w.BtnStartClick();
    const QStringList shown = dialogs.texts("ShowInfo");
    ASSERT_EQ(shown.size(), 1);
    QStringList lines = shown[0].split(QLatin1Char('\n'));
    EXPECT_EQ(lines.takeFirst(), GetLangText("Convert_Finish"));
    // The one file whose header claims 554 hours is reported as short; no other is.
    ASSERT_EQ(lines.size(), 1) << shown[0].toStdString();
    EXPECT_TRUE(lines[0].startsWith(QLatin1String("rs_wild.mp4:"))) << shown[0].toStdString();
    for (const corpus::Kind* kind : kinds) {
        SCOPED_TRACE(kind->name);
        const QString output = out + "/" + QFileInfo(QString::fromStdString(kind->source())).completeBaseName() + ".mp4";
        ASSERT_TRUE(QFileInfo::exists(output));
        corpus::ExpectLikeTheSource(*kind, output.toStdString());
    }
}
