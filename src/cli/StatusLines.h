#pragma once
// The progress display of `vanto-convert convert` on standard error. On a terminal it keeps one
// status line per running file (and one for the whole run) at the bottom and rewrites them in
// place; lines that stay (a file's announcement, its final state) are printed above them. On a
// pipe or a file it writes plain lines: a status line at most once a second per file, the
// lasting ones as they come.

#include <QElapsedTimer>
#include <QString>
#include <cstdio>
#include <map>

class StatusLines {
public:
    StatusLines(std::FILE* out, bool terminal);
    // The running status of line `key` (a file's row; -1 for the run as a whole).
    void Status(int key, const QString& text);
    // A lasting line; `key`'s running status, if any, goes away.
    void Lasting(int key, const QString& text);
    // Clears the running lines (at the end of the run).
    void Finish();

private:
    void redraw();
    void erase();

    std::FILE* out_;
    bool terminal_;
    QElapsedTimer clock_;
    std::map<int, QString> status_;  // shown at the bottom of a terminal, by key (-1 last)
    std::map<int, qint64> printed_;  // when a plain status line of a key was last written
    int drawn_ = 0;                  // status lines on the terminal now
};
