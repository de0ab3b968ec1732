#pragma once
// Small shared functions: well-known folders, time formatting and parsing, text splitting,
// URL decoding, and the message dialogs through which the program talks to the user.
// Everything here is stateless except the program-folder override used by tests.

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <stdexcept>

class QWidget;

// Modal results shared by all dialogs.
enum ModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrYes = 6,
    mrNo = 7,
    mrNoToAll = 9,
    mrYesToAll = 10,
};

// Raised by conversions of text to numbers (ParseTime and friends).
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const QString& msg) : std::runtime_error(msg.toStdString()) {}
};

// The folder of the running program, without trailing separator. Tests may point it elsewhere.
QString ProgramFolder();
void SetProgramFolderOverride(const QString& folder);  // empty restores the real folder

// Joins path pieces with "/" and reduces doubled separators to one.
QString JoinPath(const QString& a, const QString& b);
QString ReduceSeparators(const QString& path);

// A folder as the program keeps it: absolute and cleaned; a relative one is taken as relative to
// the user's home folder (never to the current folder). Empty stays empty.
QString AbsoluteFolder(const QString& folder);
// Whether `name` can be an output base name: not blank, not "." or "..", and without "/" or NUL,
// so the output stays inside the output folder.
bool IsValidOutputBaseName(const QString& name);

QString GetAppFolderName();
QString GetAppDataFolder();          // with trailing "/"
QString GetSharedDocumentsFolder();  // without trailing "/" (program folder + "/" on failure)
QString GetTempFolder();             // with trailing "/", empty on failure
bool CanCreateFile(const QString& path);
QString ReadMachineRegString(const QString& key, const QString& valueName);
bool BrowseForFolder(const QString& title, QWidget* owner, QString& path);

// Removes leading and trailing blanks and control characters.
QString TrimBlanks(const QString& text);
QStringList SplitString(const QString& text, const QString& separator);
QString FormatTimeMs(qint64 microseconds);
QString FormatTime(qint64 microseconds);
qint64 ParseTime(const QString& text);  // throws EConvertError
bool IsDigits(const QString& text);
QString UrlDecode(const QString& text);
qint64 HexToInt64(const QString& text);

// The estimated output size text shared by the file list, picker, clip and settings handlers:
// (video + audio bit rate) x duration / 1,000,000 in 64-bit integers, then / 8 / 1024 / 1024
// with two decimals and "MB".
QString EstimatedSizeText(qint64 videoBitrate, qint64 audioBitrate, qint64 durationUs);
// The length (microseconds) a size estimate takes for a source whose header gives no duration:
// its file size read at its own bit rate, or, where that is unknown too, at the output's rate
// (the output then as large as the source). 0 when nothing is known.
qint64 LengthFromFileSize(qint64 fileSize, qint64 sourceBitRate, qint64 outputBitRate);

// Fills the "%s" placeholders of a language text in order ("%%" is a literal "%").
QString FormatText(const QString& format, const QStringList& args);

// Message dialogs; all go through the installed IMessageDialogs (see DialogSeam.h).
void ShowInfo(const QString& text);
int AskQuestion(const QString& text, const QString& title, bool multiAsk);
int Ask(const QString& text);
