#include "convert/OutputNaming.h"

#include <QFileInfo>

#include "app/Utils.h"
#include "settings/Lang.h"

QString TOutputNaming::CheckOutputFile(const QString& folder, const QString& orgFileName, bool dotOverwrite,
                                       const QString& extName) {
    QString path = folder + '/' + orgFileName + extName;
    if (QFileInfo::exists(path)) {
        if (!dotOverwrite &&
            (coverExitFileResult == 0 || coverExitFileResult == mrYes || coverExitFileResult == mrNo)) {
            const QString question =
                FormatText(GetLangText(QStringLiteral("DlgReplaceDlTitle")), {orgFileName + extName});
            coverExitFileResult = AskQuestion(question, QString(), true);
        }
        if (coverExitFileResult == mrNo || coverExitFileResult == mrNoToAll) {
            for (int n = 1;; ++n) {
                const QString candidate =
                    folder + '/' + orgFileName + QStringLiteral("_(new_%1)").arg(n) + extName;
                if (!QFileInfo::exists(candidate)) {
                    path = candidate;
                    break;
                }
            }
        }
    }
    path = ReduceSeparators(path);
    CanCreateFile(path);  // reserves the name; a failure shows later when the task opens it
    return path;
}
