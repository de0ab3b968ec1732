#pragma once
// File operations that can't be turned against the user: creating a file only when nothing is
// there yet (not even a link), moving a finished file into place without replacing anything,
// replacing a settings file in one step through a temporary file that is private from its first
// byte, checking that a path stays inside its folder, and making a private folder of our own.
// Plain POSIX underneath; every function may be called from any thread.

#include <QString>
#include <QtGlobal>

namespace SafeFiles {

// True when anything is at `path`: a file, a folder, or a link (also one that leads nowhere).
bool EntryExists(const QString& path);

// Creates `path` as a new file with the permission bits `mode` (before the umask) from the
// moment it exists. Fails when anything is there already, a link included; never follows one.
// Returns the open descriptor (write only), or -1 with `error` set.
int CreateNew(const QString& path, int mode, QString* error);

enum class MoveResult { Moved, Exists, Failed };
// Renames `from` to `to` only when nothing is at `to`: a file that appeared there, or a link
// planted there, stays as it is (Exists). Never follows a link at `to`.
MoveResult MoveNoReplace(const QString& from, const QString& to, QString* error);

// Replaces `path` with `bytes` in one step: a new temporary file beside it, readable and
// writable by its owner only from its creation, is written, flushed and renamed over `path`.
// A link at `path` is replaced, not followed. On failure `path` is left as it was.
bool WriteAtomically(const QString& path, const QByteArray& bytes, QString* error);

// True when `path` names an entry directly inside `folder`: its name has no separator, is not
// "." or "..", and its folder is `folder` (both compared after cleaning and resolving links of
// the folder).
bool IsDirectlyInside(const QString& path, const QString& folder);

// Makes a new folder that only this user can enter (mode 0700), with a name that did not exist
// before ("prefix" followed by six random characters), inside `parent`. `parent` is created
// (0700) when missing and must be a real folder of this user, not a link. Returns the new folder
// without trailing separator, or empty with `error` set.
QString MakePrivateFolder(const QString& parent, const QString& prefix, QString* error);

// Free bytes for this user on the file system that holds `path`; -1 when unknown.
qint64 FreeBytes(const QString& path);

}  // namespace SafeFiles
