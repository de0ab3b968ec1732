#pragma once
// The persistent settings of the program ("vantooptions.ini" in the per-user data folder).
// One instance per process, created and read on the first GetOptions(); every change is written
// at once by SaveOptions(). Used on the user-interface thread; the proxy fields are also read by
// worker threads while no dialog can change them.

#include <QString>
#include <QStringList>
#include <stdexcept>

// Raised when the options file can't be written.
class EInOutError : public std::runtime_error {
public:
    explicit EInOutError(const QString& msg) : std::runtime_error(msg.toStdString()) {}
};

class TOptions {
public:
    TOptions();  // every field at its default

    QString LangValue;
    QString shapShotDir;
    int SnapShotFormat;
    bool AutoUpdate;
    QString UpdatePeriod;
    QString Recent;
    QStringList ResultList;
    QString OutPutFolder;
    int CPUCount;
    QString Support;
    QString HomePage;
    QString Vesion;
    QString ProductPage;
    QString ProductName;
    QString DownloadPage;
    QString SupportEmail;
    QString SaleEmail;
    QString HelpPage;
    QString ProductID;
    QString RegPath;
    QString AppFolder;
    QString DefaultOutput;
    QString IsUseProxy;
    QString ProxyAddress;
    QString ProxyPort;
    QString ProxyUserName;
    QString ProxyPwd;
    QString LastUpdate;
    // Sources at least this many seconds long (with pictures) are converted resumably, so that a
    // kill costs at most one piece; 0 converts everything in one piece. Key "resumable_from",
    // also read as "off".
    int ResumableFromSeconds;
    // Hidden keys, written only when set: the video site's and the update server's addresses
    // in place of the built-in ones (tests point them at local servers).
    QString VideoSite;
    QString UpdateServer;
    // The main window's place, "x,y,width,height,maximised" (written once it was moved or sized).
    QString MainWindowPlace;

    // Where the options file is read from: the per-user copy, installed from the program
    // folder's template when missing; the template itself when that copy fails.
    static QString OptionsFilePath();
    // Where the options are saved: always the per-user file, never the template.
    static QString UserOptionsFilePath();

    void LoadOptions();
    void LoadOptions(const QString& iniFile);
    void SaveOptions();                         // the per-user file; throws EInOutError
    void SaveOptions(const QString& fileName);  // throws EInOutError

    // OutPutFolder + "/Youtube/", created with its parents when missing.
    QString YouTubeDowloadPath() const;

    // The version compiled into the program, as four numbers joined by ".".
    static QString ProgramVersion();
};

TOptions& GetOptions();
// SaveOptions() for the windows: a failed write is shown once (not again until a save succeeds),
// the new values stay in memory and the previous file stays whole. Returns whether it was saved.
bool SaveOptionsReported();
void ResetOptions();  // tests: the next GetOptions() creates and reads anew
