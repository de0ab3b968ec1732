#pragma once
// Chooses the output path of each task of a run: detects an existing file of the same name,
// asks whether to overwrite it (once per file, or once for the rest of the run), picks a
// numbered "_(new_N)" name when the answer is no, and reserves the chosen name on disk with an
// empty file so that a later task of the same run sees it taken. User-interface thread only.

#include <QString>

class TOutputNaming {
public:
    // The last answer of this run: 0 not asked yet, 6 Yes, 7 No, 9 No to all, 10 Yes to all
    // (2, a closed question, counts as overwrite without further questions).
    int coverExitFileResult = 0;

    // folder: output folder, with or without trailing separator; orgFileName: base name;
    // extName: everything after the base name, dot included; dotOverwrite: never ask.
    // Returns the chosen full path.
    QString CheckOutputFile(const QString& folder, const QString& orgFileName, bool dotOverwrite,
                            const QString& extName);
};
