#pragma once
// Chooses and guards the files of one conversion run.
//
// CheckOutputFile picks each task's final output path: it asks whether to replace an existing
// file (once per file, or once for the rest of the run), takes a numbered "_(new_N)" name when
// the answer is no, and never lands on a source of the run or on a name an earlier task of the
// same run already took (those get the next free number without a question). Nothing is written
// at that point: a replaced file stays whole until its task has finished writing.
//
// Tasks write into a hidden working file beside the final path (CreateWorkingFile), which Commit
// moves into place once the task has finished. Every file the run creates is remembered, and only
// those are ever deleted (RemoveCreated / RemoveAllCreated): cancelling or failing leaves the
// output folder as it was, plus the finished outputs.
//
// User-interface thread only (or the command-line tool's only thread).

#include <QSet>
#include <QString>
#include <cstdint>
#include <vector>

class TOutputNaming {
public:
    // The last answer of this run: 0 not asked yet, 6 Yes, 7 No, 9 No to all, 10 Yes to all.
    // A question closed without an answer counts as No for that file.
    int coverExitFileResult = 0;

    // A source file of the run: no output, working or intermediate file may be that file.
    void AddSource(const QString& path);

    // folder: output folder, with or without trailing separator; orgFileName: base name;
    // extName: everything after the base name, dot included; dotOverwrite: never ask.
    // Returns the chosen full path and takes it for the rest of the run.
    QString CheckOutputFile(const QString& folder, const QString& orgFileName, bool dotOverwrite,
                            const QString& extName);

    // A fresh file the program writes and deletes itself (a merge's intermediate files): a name
    // that exists nowhere yet, created empty. Empty result and `error` set when it can't be made.
    QString CreateOwnFile(const QString& folder, const QString& orgFileName, const QString& extName,
                          QString* error = nullptr);
    // The hidden file a task writes before its output is complete, in the final path's folder
    // and with its extension (the muxer is chosen by it). Empty result and `error` on failure.
    QString CreateWorkingFile(const QString& finalPath, QString* error = nullptr);
    // Moves a finished working file to its final path. The final path is replaced only when the
    // user agreed to it; a file that appeared there meanwhile is kept and the output takes the
    // next numbered name. Returns where the output now is, or empty with `error` set.
    QString Commit(const QString& workingPath, const QString& finalPath, QString* error = nullptr);

    // Deletes a file only when this run created it and it is still there.
    bool RemoveCreated(const QString& path);
    // Deletes every file this run created and still owns (working files, intermediates).
    void RemoveAllCreated();
    bool WillReplace(const QString& path) const;

private:
    struct FileId {
        uint64_t dev = 0, ino = 0;
        bool operator==(const FileId&) const = default;
    };
    static bool idOf(const QString& path, FileId& id);
    static QString keyOf(const QString& path);
    bool isSource(const QString& path) const;
    bool isTaken(const QString& path) const;
    QString numbered(const QString& folder, const QString& orgFileName, const QString& extName) const;

    std::vector<FileId> sources_;
    QSet<QString> sourceKeys_;
    QSet<QString> taken_;     // final paths chosen in this run
    QSet<QString> replaced_;  // existing files the user agreed to replace
    QSet<QString> created_;   // files this run created and has not handed over or deleted
};
