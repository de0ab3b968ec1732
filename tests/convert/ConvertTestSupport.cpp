#include "ConvertTestSupport.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include "app/Utils.h"
#include "convert/OutputNaming.h"
#include "convert/TaskOptionBuilder.h"
#include "common/MediaFixtures.h"
#include "profiles/ParaInfo.h"
#include "profiles/ProfileMenu.h"
#include "settings/Lang.h"
#include "tools/EntryProbe.h"

ConvertFixture::ConvertFixture() {
    LoadLang();
    LoadProfileMenu();
    LoadParaInfo();
    tasks.LoadAVLib("");
    out = sandbox.root() + "/out";
    QDir().mkpath(out);
}

ConvertFixture::~ConvertFixture() {
    tasks.Stop(true);
    tasks.ClearTasks();
}

QString ConvertFixture::Clip(const char* name, double seconds, int width, int height, int fps) {
    return QString::fromStdString(fixtures::Clip(name, seconds, width, height, fps));
}

std::unique_ptr<ConvertRecord> ConvertFixture::Record(const QString& source, int profileId,
                                                      const QString& target) {
    auto entry = std::make_unique<ListFileInfo>();
    entry->FileName = source;
    ProbeEntry(tasks.AVProbe(), *entry);
    entry->formatInfo = GetFormatInfo(profileId);
    if (entry->formatInfo) {
        if (const TCategory* c = FindCategory(entry->formatInfo->Categoryid))
            entry->CategoryTag = c->CategoryTag;
    }
    auto record = std::make_unique<ConvertRecord>();
    record->SourceFileName = QFileInfo(source).fileName();
    record->FileDur = FormatTime(entry->EndTime - entry->StartTime);
    record->TargetFileName = target;
    record->ProfileName = entry->formatInfo ? entry->formatInfo->Format : QString();
    record->PFileInfo = std::move(entry);
    return record;
}

std::string ConvertFixture::Convert(ListFileInfo& entry, QStringList* notes) {
    TOutputNaming naming;
    AppLogger log;
    TTaskOptionBuilder builder(tasks, naming, log);
    builder.OutputFolder = out;
    TOutputOptions o;
    TInputOptions in;
    builder.CreateOptions(o, in, entry);
    tasks.ClearTasks();
    if (!builder.AddTask(in, o)) {
        ADD_FAILURE() << tasks.LastErrMsg();
        return {};
    }
    if (notes) *notes = builder.Notes;
    TTerminateInfo result;
    tasks.OnTerminate = [&](TCustomFFmpegTasks*, const TTerminateInfo& info) {
        if (info.TaskIndex == 0) result = info;
    };
    tasks.Start(0);
    if (!result.Finished || result.Exception) {
        ADD_FAILURE() << entry.OutPutFileName.toStdString() << ": " << result.ExceptionMsg;
        return {};
    }
    return o.FileName;
}
