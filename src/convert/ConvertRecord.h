#pragma once
// One queued conversion of a run: the texts of its row in the main list and a copy of its entry,
// owned by the record, so that editing the list never affects a run in progress.

#include <QString>
#include <memory>

#include "app/CommEntity.h"

struct ConvertRecord {
    QString SourceFileName;  // the row's caption
    QString FileSize;        // the row's estimated size text
    QString FileDur;         // the row's duration text
    QString TargetFileName;  // output base name; becomes the entry's OutPutFileName
    QString ProfileName;     // output format text; becomes the entry's ProfileName
    std::unique_ptr<ListFileInfo> PFileInfo;
    QString MergerTempFile;  // a merge run's intermediate file of this entry
};
