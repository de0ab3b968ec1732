#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTextStream>
#include <thread>

#include "app/Utils.h"
#include "common/ReadOnlyFolder.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
QString userOptionsFile(const TestSandbox& s) {
    return s.homeDir() + "/.local/share/Vantosoft/vantooptions.ini";
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
}  // namespace

TEST(Options, FirstUseInstallsTheTemplateAndResolvesMyDocuments) {
    TestSandbox sandbox;
    ASSERT_FALSE(QFile::exists(userOptionsFile(sandbox)));
    TOptions& o = GetOptions();
    EXPECT_TRUE(QFile::exists(userOptionsFile(sandbox)));
    EXPECT_EQ(readFile(userOptionsFile(sandbox)), readFile(sandbox.programFile("vantooptions.ini")));
    EXPECT_EQ(o.OutPutFolder, sandbox.homeDir() + "/Documents/Vantosoft/OutPut");
    EXPECT_EQ(o.shapShotDir, sandbox.homeDir() + "/Documents/Vantosoft/Snapshot");
    EXPECT_EQ(o.ResultList, QStringList{"1055"});
    EXPECT_EQ(o.DefaultOutput, sandbox.homeDir() + "/Documents/Vantosoft/OutPut");
    EXPECT_EQ(o.CPUCount, static_cast<int>(std::thread::hardware_concurrency()));
    EXPECT_EQ(o.Vesion, "1.0.0.0");
    EXPECT_EQ(&o, &GetOptions());  // one instance
}

TEST(Options, TheProgramFolderTemplateIsReadButNeverWritten) {
    TestSandbox sandbox;
    sandbox.removeProgramFile("vantooptions.ini");
    EXPECT_EQ(TOptions::OptionsFilePath(), sandbox.programFile("vantooptions.ini"));
    TOptions& o = GetOptions();
    EXPECT_EQ(o.UpdatePeriod, "week");  // defaults kept
    o.LangValue = "zh";
    o.SaveOptions();
    EXPECT_FALSE(QFile::exists(sandbox.programFile("vantooptions.ini")));
    ResetOptions();
    EXPECT_EQ(GetOptions().LangValue, "zh");
    EXPECT_TRUE(QFile::exists(userOptionsFile(sandbox)));

    // With the per-user folder unwritable the template is read, and a save fails instead of
    // writing into the program folder.
    TestSandbox second;
    const QString data = second.homeDir() + "/.local/share/Vantosoft";
    QDir().mkpath(data);
    ReadOnlyFolder ro(data.toStdString());
    if (!ro.ok()) GTEST_SKIP() << "this file system can't make a folder read-only";
    const QByteArray installed = readFile(second.programFile("vantooptions.ini"));
    GetOptions().LangValue = "zh";
    EXPECT_THROW(GetOptions().SaveOptions(), EInOutError);
    EXPECT_EQ(readFile(second.programFile("vantooptions.ini")), installed);
}

TEST(Options, PasswordsAndOtherValuesComeBackExactly) {
    TestSandbox sandbox;
    const QString path = sandbox.root() + "/opts.ini";
    for (const QString& value : QStringList{"a=b", "==", "#not a comment", ";x;", "  both ends  ", " ",
                                            QString::fromUtf8("密码=ü é"), "tab\there", "50%=half", "%41"}) {
        TOptions o;
        o.ProxyPwd = value;
        o.ProxyUserName = value;
        o.SaveOptions(path);
        TOptions back;
        back.LoadOptions(path);
        EXPECT_EQ(back.ProxyPwd, value);
        EXPECT_EQ(back.ProxyUserName, value);
        // A second save writes what was read, not an empty value.
        back.SaveOptions(path);
        TOptions again;
        again.LoadOptions(path);
        EXPECT_EQ(again.ProxyPwd, value);
    }
    // Plain values stay plain lines, so files written earlier read as before.
    TOptions o;
    o.ProxyPwd = "plain";
    o.SaveOptions(path);
    EXPECT_TRUE(readFile(path).contains("proxy_pwd=plain\r\n"));
}

TEST(Options, LoadingFollowsTheLineRules) {
    TestSandbox sandbox;
    writeFile(userOptionsFile(sandbox),
              QByteArray(" language = zh \r\n") +
                  "Language=fr\r\n"                           // keys are case-sensitive
                  "proxy_addr=\r\n"                           // empty value: skipped
                  "proxy_user=a=b\r\n"                        // value containing "=": skipped
                  "reg_path==Software\\X\r\n"                 // two "=" then a value
                  "auto_period=month\r\nauto_period=day\r\n"  // the later line wins
                  "cpu_count=many\r\n"                        // not an integer: ignored
                  "snapshot_format=jpeg\r\n"                  // not an integer: ignored
                  "auto_update=tRuE\r\n"
                  "output_folder=%my documents%/Films\r\n"
                  "snapshot_dir=Pictures/../Shots\r\n"  // relative: from the home folder
                  "unknown_key=1\r\n"
                  "\x01\x02\xff\xfe garbage " +
                  QByteArray("\x00", 1) +
                  " line\r\n"
                  "=\r\n"
                  "recent= 12 , 7 ,,\r\n");
    TOptions& o = GetOptions();
    EXPECT_EQ(o.LangValue, "zh");
    EXPECT_EQ(o.ProxyAddress, "");
    EXPECT_EQ(o.ProxyUserName, "");
    EXPECT_EQ(o.RegPath, "Software\\X");
    EXPECT_EQ(o.UpdatePeriod, "day");
    EXPECT_EQ(o.CPUCount, static_cast<int>(std::thread::hardware_concurrency()));
    EXPECT_EQ(o.SnapShotFormat, 0);
    EXPECT_TRUE(o.AutoUpdate);
    EXPECT_EQ(o.OutPutFolder, sandbox.homeDir() + "/Documents/Films");
    EXPECT_EQ(o.shapShotDir, sandbox.homeDir() + "/Shots");
    EXPECT_EQ(o.ResultList, (QStringList{"12", "7"}));
}

TEST(Options, BooleanAndEmptyRecentValues) {
    TestSandbox sandbox;
    writeFile(userOptionsFile(sandbox), "auto_update=0\nrecent=\n");
    EXPECT_FALSE(GetOptions().AutoUpdate);
    EXPECT_EQ(GetOptions().ResultList, QStringList{"1055"});
    GetOptions().AutoUpdate = true;
    GetOptions().SaveOptions();
    EXPECT_TRUE(readFile(userOptionsFile(sandbox)).contains("auto_update=-1\r\n"));
}

TEST(Options, ResumableThresholdIsSecondsOrOff) {
    TestSandbox sandbox;
    writeFile(userOptionsFile(sandbox), "resumable_from=45\r\nresumable_from=-5\r\n");  // negative: ignored
    EXPECT_EQ(GetOptions().ResumableFromSeconds, 45);
    ResetOptions();
    writeFile(userOptionsFile(sandbox), "resumable_from=OFF\r\n");
    EXPECT_EQ(GetOptions().ResumableFromSeconds, 0);
    GetOptions().SaveOptions();
    EXPECT_TRUE(readFile(userOptionsFile(sandbox)).contains("resumable_from=0\r\n"));
}

TEST(Options, RecentRoundTripKeepsAtMostNineIds) {
    TestSandbox sandbox;
    TOptions& o = GetOptions();
    o.ResultList.clear();
    for (int i = 1; i <= 12; ++i)
        o.ResultList << QString::number(1000 + i);
    o.SaveOptions();
    const QByteArray bytes = readFile(userOptionsFile(sandbox));
    EXPECT_TRUE(bytes.contains("recent=1001,1002,1003,1004,1005,1006,1007,1008,1009,\r\n"))
        << bytes.constData();
    EXPECT_TRUE(bytes.startsWith("product_id="));
    ResetOptions();
    EXPECT_EQ(GetOptions().ResultList.size(), 9);
    EXPECT_EQ(GetOptions().ResultList.first(), "1001");
}

TEST(Options, SaveWritesEveryKeyInOrder) {
    TestSandbox sandbox;
    GetOptions().UpdateServer.clear();  // the sandbox's hidden key; written only when set
    GetOptions().SaveOptions();
    QStringList keys;
    for (const QByteArray& line : readFile(userOptionsFile(sandbox)).split('\n'))
        if (!line.trimmed().isEmpty()) keys << QString::fromUtf8(line.left(line.indexOf('=')));
    EXPECT_EQ(keys, (QStringList{"product_id", "reg_path", "app_folder", "language", "snapshot_dir",
                                 "snapshot_format", "auto_update", "auto_period", "output_folder",
                                 "cpu_count", "use_proxy", "proxy_addr", "proxy_port", "proxy_user",
                                 "proxy_pwd", "lastupdate", "recent", "resumable_from"}));
}

TEST(Options, YouTubeDownloadPathCreatesTheFolders) {
    TestSandbox sandbox;
    GetOptions().OutPutFolder = sandbox.root() + "/not/yet";
    const QString p = GetOptions().YouTubeDowloadPath();
    EXPECT_EQ(p, sandbox.root() + "/not/yet/Youtube/");
    EXPECT_TRUE(QDir(p).exists());
}

TEST(Options, ReadOnlyPerUserFolderFallsBackToTheProgramFolder) {
    TestSandbox sandbox;
    const QString data = sandbox.homeDir() + "/.local/share/Vantosoft";
    QDir().mkpath(data);
    ReadOnlyFolder ro(data.toStdString());
    if (!ro.ok()) GTEST_SKIP() << "this file system can't make a folder read-only";
    EXPECT_EQ(TOptions::OptionsFilePath(), sandbox.programFile("vantooptions.ini"));
    EXPECT_EQ(GetOptions().ResultList, QStringList{"1055"});  // the template was read
}

TEST(Options, SaveIntoAnUnwritablePlaceRaisesAnInputOutputError) {
    TestSandbox sandbox;
    EXPECT_THROW(GetOptions().SaveOptions(sandbox.root() + "/missing/folder/vantooptions.ini"), EInOutError);
}

TEST(Options, TheSavedFileIsReadableByItsOwnerOnlyAndKeepsTheHiddenAddresses) {
    TestSandbox sandbox;
    const QString path = sandbox.root() + "/opts.ini";
    writeFile(path, "proxy_pwd=old\r\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                    QFileDevice::ReadOther);
    TOptions o;
    o.ProxyPwd = "secret";
    o.SaveOptions(path);
    // Owner, group and others (the "user" flags repeat the owner's for the current user).
    EXPECT_EQ(QFile::permissions(path) & 0xF0FF, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_FALSE(readFile(path).contains("video_site"));  // hidden keys appear only when set

    o.VideoSite = "http://127.0.0.1:8000";
    o.UpdateServer = "https://updates.example";
    o.SaveOptions(path);
    TOptions back;
    back.LoadOptions(path);
    EXPECT_EQ(back.VideoSite, "http://127.0.0.1:8000");
    EXPECT_EQ(back.UpdateServer, "https://updates.example");
    EXPECT_EQ(back.ProxyPwd, "secret");
}

TEST(Options, FailedSaveKeepsThePreviousFileWholeAndIsShownOnce) {
    TestSandbox sandbox;
    LoadLang();
    ScriptedDialogs dialogs;
    TOptions& o = GetOptions();
    o.LangValue = "zh";
    ASSERT_TRUE(SaveOptionsReported());
    const QString file = userOptionsFile(sandbox);
    const QByteArray before = readFile(file);
    ASSERT_TRUE(before.contains("language=zh\r\n"));
    {
        ReadOnlyFolder ro(QFileInfo(file).absolutePath().toStdString());
        if (!ro.ok()) GTEST_SKIP() << "this file system can't make a folder read-only";
        o.LangValue = "en";
        EXPECT_THROW(o.SaveOptions(), EInOutError);
        EXPECT_FALSE(SaveOptionsReported());
        o.OutPutFolder = sandbox.root() + "/elsewhere";
        EXPECT_FALSE(SaveOptionsReported());
        EXPECT_EQ(readFile(file), before);
        EXPECT_EQ(QDir(QFileInfo(file).absolutePath()).entryList(QDir::Files),
                  QStringList{"vantooptions.ini"});
        ASSERT_EQ(dialogs.count("MessageBox"), 1);
        EXPECT_TRUE(dialogs.texts("MessageBox").first().contains(file))
            << dialogs.texts("MessageBox").first().toStdString();
        EXPECT_EQ(o.LangValue, "en");  // the new values stay in effect
    }
    // Writable again: the save goes through, and a later failure is shown again.
    ASSERT_TRUE(SaveOptionsReported());
    EXPECT_TRUE(readFile(file).contains("language=en\r\n"));
    ReadOnlyFolder ro(QFileInfo(file).absolutePath().toStdString());
    EXPECT_FALSE(SaveOptionsReported());
    EXPECT_EQ(dialogs.count("MessageBox"), 2);
}
