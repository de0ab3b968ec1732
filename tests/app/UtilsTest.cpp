#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/Utils.h"
#include "common/ReadOnlyFolder.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"

TEST(UtilsTime, FormatsHoursMinutesSecondsAndMilliseconds) {
    EXPECT_EQ(FormatTime(0), "00:00:00");
    EXPECT_EQ(FormatTime(3723456789LL), "01:02:03");
    EXPECT_EQ(FormatTimeMs(3723456789LL), "01:02:03.456");
    EXPECT_EQ(FormatTime(90000000000LL), "25:00:00");  // hours are not wrapped at 24
    EXPECT_EQ(FormatTimeMs(999), "00:00:00.000");
    EXPECT_EQ(FormatTimeMs(59999999), "00:00:59.999");
    EXPECT_EQ(FormatTime(-1), "--:--:--");  // a duration the file does not give
}

TEST(UtilsTime, LengthOfASourceWithoutDurationFromItsSize) {
    struct Case {
        qint64 size, sourceRate, outputRate, length;
    } cases[] = {
        {1000000, 800000, 2128000, 10000000},  // the source's own rate decides
        {1000000, 0, 800000, 10000000},        // without it, the output's: as large as the source
        {0, 800000, 800000, 0},
        {1000000, 0, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LengthFromFileSize(c.size, c.sourceRate, c.outputRate), c.length)
            << c.size << " " << c.sourceRate;
}

TEST(UtilsTime, ParseTimeReadsThreeDecimalPiecesAndRefusesOthers) {
    EXPECT_EQ(ParseTime("01:02:03"), 3723000000LL);
    EXPECT_EQ(ParseTime(" 1 : 2 : 3 "), 3723000000LL);
    EXPECT_EQ(ParseTime("100:00:00"), 360000000000LL);  // 64-bit arithmetic
    EXPECT_THROW(ParseTime("1:2"), EConvertError);
    EXPECT_THROW(ParseTime("a:b:c"), EConvertError);
    EXPECT_THROW(ParseTime("1.5:00:00"), EConvertError);
}

TEST(UtilsText, SplitStringDropsEmptyPiecesAndTrims) {
    EXPECT_EQ(SplitString("a,,b", ","), (QStringList{"a", "b"}));
    EXPECT_EQ(SplitString(" a : b ", ":"), (QStringList{"a", "b"}));
    EXPECT_TRUE(SplitString("", ",").isEmpty());
    EXPECT_TRUE(SplitString(" , ,", ",").isEmpty());
    EXPECT_EQ(SplitString("1055,", ","), QStringList{"1055"});
    EXPECT_EQ(SplitString("a<>b<>", "<>"), (QStringList{"a", "b"}));
    EXPECT_EQ(SplitString(" x ", ""), QStringList{"x"});  // no endless loop on an empty separator
}

TEST(UtilsText, IsDigitsHexAndUrlDecode) {
    EXPECT_TRUE(IsDigits(" 42 "));
    EXPECT_FALSE(IsDigits("4.2"));
    EXPECT_TRUE(IsDigits(""));
    EXPECT_FALSE(IsDigits("-1"));

    EXPECT_EQ(HexToInt64("1F"), 31);
    EXPECT_EQ(HexToInt64("ffh"), 255);
    EXPECT_EQ(HexToInt64("1G"), 0);
    EXPECT_EQ(HexToInt64(""), 0);

    EXPECT_EQ(UrlDecode("a+b%2Fc"), "a b/c");
    const QString zz = UrlDecode("%zz");
    ASSERT_EQ(zz.size(), 1);
    EXPECT_EQ(zz[0].unicode(), 0);
    const QString e = UrlDecode("%C3%A9");  // no UTF-8 decoding: two code units
    ASSERT_EQ(e.size(), 2);
    EXPECT_EQ(e[0].unicode(), 0xC3);
    EXPECT_EQ(e[1].unicode(), 0xA9);
    EXPECT_EQ(UrlDecode("100%"), "100%");
    EXPECT_EQ(UrlDecode("x%4"), "x%4");
    EXPECT_EQ(UrlDecode(""), "");
}

TEST(UtilsText, EstimatedSizeUsesIntegerBitsThenMegabytes) {
    EXPECT_EQ(EstimatedSizeText(1000000, 128000, 60000000), "8.07MB");
    EXPECT_EQ(EstimatedSizeText(0, 0, 60000000), "0.00MB");
    // (v + a) x duration would overflow 32 bits: 2 h at 8 Mbit/s.
    EXPECT_EQ(EstimatedSizeText(8000000, 0, 7200000000LL), "6866.46MB");
}

TEST(UtilsPaths, SeparatorsAreReducedAndJoined) {
    EXPECT_EQ(ReduceSeparators("/a//b///c"), "/a/b/c");
    EXPECT_EQ(JoinPath("/out/", "name.mp4"), "/out/name.mp4");
    EXPECT_EQ(JoinPath("/", "x"), "/x");
}

TEST(UtilsPaths, AppFolderNameComesFromTempconfigFirstLine) {
    TestSandbox sandbox;
    EXPECT_EQ(GetAppFolderName(), "Vantosoft");
    sandbox.writeProgramFile("tempconfig.ini", "   My Converter  \r\nsecond line\r\n");
    EXPECT_EQ(GetAppFolderName(), "My Converter");
    const QString data = GetAppDataFolder();
    EXPECT_TRUE(data.endsWith("/My Converter/")) << data.toStdString();
    EXPECT_TRUE(QDir(data).exists());
    EXPECT_TRUE(data.startsWith(sandbox.homeDir()));
}

TEST(UtilsPaths, SharedDocumentsAndTemp) {
    TestSandbox sandbox;
    EXPECT_EQ(GetSharedDocumentsFolder(), sandbox.homeDir() + "/Documents");
    EXPECT_TRUE(GetTempFolder().endsWith('/'));
}

TEST(UtilsFiles, CanCreateFileTruncatesAndFailsWhereItCannotWrite) {
    QTemporaryDir dir;
    const QString path = dir.filePath("x.bin");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("content");
    }
    EXPECT_TRUE(CanCreateFile(path));
    EXPECT_EQ(QFileInfo(path).size(), 0);
    EXPECT_FALSE(CanCreateFile(dir.filePath("missing/x.bin")));
    QDir().mkpath(dir.filePath("ro"));
    ReadOnlyFolder ro(dir.filePath("ro").toStdString());
    if (ro.ok()) {
        EXPECT_FALSE(CanCreateFile(dir.filePath("ro/x.bin")));
    }
}

TEST(UtilsDialogs, MessagesGoThroughTheInstalledSeam) {
    ScriptedDialogs dialogs;
    dialogs.answers = {6, 10};
    ShowInfo("hello");
    EXPECT_EQ(Ask("sure?"), 6);
    EXPECT_EQ(AskQuestion("replace?", "T", true), 10);
    EXPECT_EQ(Ask("again?"), 7);  // no scripted answer left: the default
    ASSERT_EQ(dialogs.calls.size(), 4);
    EXPECT_EQ(dialogs.calls[0].kind, "ShowInfo");
    EXPECT_EQ(dialogs.calls[1].title, "");
    EXPECT_FALSE(dialogs.calls[1].multiAsk);
    EXPECT_TRUE(dialogs.calls[2].multiAsk);
    EXPECT_EQ(dialogs.calls[2].title, "T");
}

namespace {
class ThrowingDialogs : public ScriptedDialogs {
public:
    void ShowInfo(const QString&) override { throw std::runtime_error("no window"); }
    int AskQuestion(const QString&, const QString&, bool) override { throw std::runtime_error("no window"); }
};
}  // namespace

TEST(UtilsDialogs, FailingDialogsNeverRaiseAndAnswerNo) {
    ThrowingDialogs dialogs;
    EXPECT_NO_THROW(ShowInfo("x"));
    EXPECT_EQ(AskQuestion("x", "", true), 7);
}
