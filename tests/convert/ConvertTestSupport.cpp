#include "ConvertTestSupport.h"

#include <QDir>
#include <QFileInfo>

#include "app/Utils.h"
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
