#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "settings/Lang.h"
#include "settings/Options.h"

#include <algorithm>

namespace {
QStringList numbered(const QString& root, std::initializer_list<int> items) {
    QStringList keys;
    for (int i : items)
        keys << root + QString::number(i);
    return keys;
}

// Every key the program looks up, including those built from a root and a number.
QStringList requiredKeys() {
    QStringList keys{"FileMenu_0",
                     "EditMenu_0",
                     "ToolsMenu_0",
                     "HelpMenu_0",
                     "HelpMenu_10",
                     "ExitAskInfo",
                     "dlgFileFilter",
                     "DlgAddFolderTitle",
                     "ErrorFileLable",
                     "AppleToAll_Title",
                     "AppleToAll_Content",
                     "DlgRenameDupTitle",
                     "Convert_Finish",
                     "DlgFailedCreateOutputFolder",
                     "DlgNoConvertTitle",
                     "DlgNoOutpuFolderTitle",
                     "DlgSelOutput",
                     "DlgFailedCreateSnapFolder",
                     "DlgSelSnapShot",
                     "DlgTitle",
                     "DlgQuestion",
                     "DlgSettingTitle",
                     "ErrorNoParaFile",
                     "DlgCustProfileTitle",
                     "btnCheckAll",
                     "btnUncheckAll",
                     "btnTreeOk",
                     "btnTreeCancel",
                     "SaveFailed",
                     "DlgOptionTitle",
                     "DlgConvertTitle",
                     "lbTaskList",
                     "cbShutdown",
                     "cbOpenTarget",
                     "btnCancel",
                     "btnPause",
                     "btnResume",
                     "btnBkGround",
                     "btnBkGroundTip",
                     "CancelAsk_Title",
                     "CancelAsk_Content",
                     "lbStep1",
                     "lbStep2",
                     "lbStep3",
                     "DlgReplaceDlTitle",
                     "DlgErrorFile",
                     "DlgClipTitle",
                     "ClipAsk_Title",
                     "DlgStartGreatEnd",
                     "DlgEndGreatStart",
                     "DlgEndGreatTotal",
                     "DlgFileInfoTitle",
                     "DlgYoutuboTitle",
                     "lbYouTuBeUrl",
                     "btnGo",
                     "btnProxy",
                     "btnProxyOk",
                     "btnProxyCancel",
                     "infoInvaildUrl",
                     "infoDotGetVideo",
                     "DlgDownloadTitle",
                     "Download_1",
                     "Download_2",
                     "ckbDownloadOnly",
                     "BtnOpenFolderT",
                     "DownloadAsk_Content",
                     "DlgUpdateTitle",
                     "lbUpdateInfo",
                     "lbUpdateInfo2",
                     "lbUpdateFailed",
                     "CheckUpdateInfo",
                     "DlgAskUpdate",
                     "DlgCancelUpdate",
                     "DlgProxyTitle",
                     "tryTipHint",
                     "tryTipInfoS",
                     "tryTipInfoSTitle",
                     "tryTipInfoF",
                     "tryTipInfoFTitle"};
    keys << numbered("FileMenu_0", {0, 1, 2, 3, 4, 5}) << numbered("EditMenu_0", {0, 1, 2, 3, 4, 5, 6, 7})
         << numbered("ToolsMenu_0", {0, 1}) << numbered("HelpMenu_0", {0, 1, 4, 5, 6, 7, 8, 9})
         << numbered("fileListCol_", {1, 2, 3, 4, 5}) << numbered("CovertCol_", {1, 2, 3});
    return keys;
}

// Keys named literally in the sources: GetLangText(QStringLiteral("...")) and
// TextOr(QStringLiteral("..."), ...).
QStringList keysUsedInSources() {
    QStringList keys;
    const QRegularExpression re(R"re((?:GetLangText|TextOr)\(\s*QStringLiteral\("([A-Za-z0-9_]+)"\))re");
    QDirIterator it(QStringLiteral(VANTO_SOURCE_DIR "/src"), {"*.cpp", "*.h"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QString text = QString::fromUtf8(f.readAll());
        for (auto m = re.globalMatch(text); m.hasNext();)
            keys << m.next().captured(1);
    }
    keys.removeDuplicates();
    return keys;
}

void writeLang(const TestSandbox& s, const QByteArray& body) {
    s.writeProgramFile("Lang.dll", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + body);
}
}  // namespace

TEST(LangShipped, HoldsEveryKeyTheProgramUses) {
    TestSandbox sandbox;
    LoadLang();
    const QStringList fromSources = keysUsedInSources();
    EXPECT_FALSE(fromSources.isEmpty());
    for (const QString& key : requiredKeys() + fromSources) {
        EXPECT_TRUE(Lang().ItemMap.contains(key)) << "missing key " << key.toStdString();
        if (Lang().ItemMap.contains(key)) {
            EXPECT_FALSE(GetLangText(key).isEmpty()) << key.toStdString();
        }
    }
    EXPECT_EQ(Lang().FontSize, 9);
}

TEST(LangShipped, FormatTextsCarryExactlyTheirArguments) {
    TestSandbox sandbox;
    LoadLang();
    const QHash<QString, int> formats{
        {"DlgReplaceDlTitle", 1},   {"ErrorFileLable", 1},       {"tryTipInfoS", 1},
        {"tryTipInfoF", 1},         {"DlgAskUpdate", 1},         {"lbUpdateInfo2", 2},
        {"OptionsSaveFailed", 1},   {"OpenDocumentFailed", 1},   {"ConvertPartly", 2},
        {"UpdateNotVerified", 1},   {"DownloadFailedInfo", 1},   {"ConvertRowLeft", 1},
        {"ConvertRunLeft", 1},      {"ConvertShort", 2},         {"SnapshotSaved", 1},
        {"infoPageNotAnalysed", 1}, {"lbReadingPage", 1},        {"JournalRestoreAsk", 1},
        {"JournalFilesGone", 1},    {"JournalUnreadable", 2},    {"JournalRunInterrupted", 2},
        {"ConvertResumeLocked", 1}, {"PrefResumableMinutes", 1}, {"PrefResumableSeconds", 1},
        {"SetAutoDisc", 2}};
    // A reason or note carries as many values as the engine's text it stands for.
    const auto placeholders = [&formats](const QString& key, const QString& text) {
        return key.startsWith("Reason") || key.startsWith("Note") ? int(text.count("%s")) : formats.value(key, 0);
    };
    for (auto it = Lang().ItemMap.cbegin(); it != Lang().ItemMap.cend(); ++it) {
        const int expected = placeholders(it.key(), it->EnValue);
        EXPECT_EQ(it->EnValue.count("%s"), expected) << it.key().toStdString();
        EXPECT_EQ(it->EnValue.count('%'), expected) << it.key().toStdString();  // no other placeholders
    }
}

TEST(LangShipped, ChineseHasATextForEveryKeyTheProgramUses) {
    TestSandbox sandbox;
    GetOptions().LangValue = "zh";
    LoadLang();
    EXPECT_EQ(Lang().Language, "zh");
    TLang english;
    LoadLangFile(english, sandbox.programFile("Lang.dll"), "en");
    ASSERT_EQ(english.ItemMap.size(), Lang().ItemMap.size());
    for (const QString& key : requiredKeys() + keysUsedInSources()) {
        ASSERT_TRUE(Lang().ItemMap.contains(key)) << key.toStdString();
        const QString zh = GetLangText(key);
        const QString en = english.ItemMap.value(key).EnValue;
        // Separators and the like read the same; every real text is translated and keeps its
        // placeholders.
        if (en == "-") {
            EXPECT_EQ(zh, "-");
            continue;
        }
        EXPECT_TRUE(std::any_of(zh.begin(), zh.end(), [](QChar c) { return c.unicode() >= 0x4e00 && c.unicode() <= 0x9fff; }))
            << key.toStdString() << ": " << zh.toStdString();
        EXPECT_EQ(zh.count("%s"), en.count("%s")) << key.toStdString();
    }
}

TEST(Lang, TheOptionsLanguageChoosesTheAttributeAndEnglishFillsGaps) {
    const QByteArray body =
        "<Lang><Item name=\"both\" en=\"Open\" zh=\"打开\"/><Item name=\"onlyEn\" en=\"Close\"/>"
        "<Item name=\"emptyZh\" en=\"Stop\" zh=\"\"/></Lang>";
    for (const char* language : {"zh", "ZH ", "en", "x/../y"}) {
        TestSandbox sandbox;
        writeLang(sandbox, body);
        GetOptions().LangValue = language;
        LoadLang();
        const bool chinese = QString(language).trimmed().toLower() == "zh";
        EXPECT_EQ(GetLangText("both"), chinese ? "打开" : "Open") << language;
        EXPECT_EQ(GetLangText("onlyEn"), "Close") << language;
        EXPECT_EQ(GetLangText("emptyZh"), "Stop") << language;
    }
}

TEST(Lang, MissingFileIsReportedAndLeavesAnEmptyTable) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    sandbox.removeProgramFile("Lang.dll");
    LoadLang();
    EXPECT_EQ(dialogs.texts("MessageBox"), QStringList{"Lang resource file does not exist."});
    EXPECT_TRUE(Lang().ItemMap.isEmpty());
    EXPECT_EQ(GetLangText(""), "");
    EXPECT_THROW(GetLangText("FileMenu_0"), ELangError);
}

TEST(Lang, ItemsKeysAndCase) {
    TestSandbox sandbox;
    writeLang(
        sandbox,
        "<Lang><Default><Font Size=\"11\" Charset=\"ANSI\"/></Default>"
        "<Other name=\"x\" en=\"ignored\"/>"
        "<Item name=\"NoText\"/><Item name=\"key\" en=\"lower\"/><Item name=\"Key\" en=\"upper &amp; more\"/>"
        "</Lang>");
    LoadLang();
    EXPECT_EQ(Lang().FontSize, 11);
    EXPECT_EQ(Lang().CharSet, "ANSI");
    EXPECT_EQ(GetLangText("NoText"), "");
    EXPECT_EQ(GetLangText("key"), "lower");
    EXPECT_EQ(GetLangText("Key"), "upper & more");
    EXPECT_THROW(GetLangText("x"), ELangError);
    EXPECT_EQ(Lang().ItemMap.size(), 3);
}

TEST(Lang, DamagedFilesEndTheLoadButKeepWhatWasRead) {
    {
        TestSandbox sandbox;
        writeLang(sandbox,
                  "<Lang><Item name=\"a\" en=\"1\"/><Item name=\"a\" en=\"2\"/><Item name=\"b\"/></Lang>");
        EXPECT_THROW(LoadLang(), ELangError);
        EXPECT_EQ(GetLangText("a"), "1");
        EXPECT_FALSE(Lang().ItemMap.contains("b"));
    }
    {
        TestSandbox sandbox;
        writeLang(sandbox, "<Lang><Item name=\"a\" en=\"1\"/><Default><Font Size=\"big\"/></Default></Lang>");
        EXPECT_THROW(LoadLang(), ELangError);
        EXPECT_EQ(GetLangText("a"), "1");
    }
    {
        TestSandbox sandbox;
        writeLang(sandbox, "<Lang><Item name=\"a\" en=\"1\"></Lang>");
        try {
            LoadLang();
            FAIL() << "a malformed file must raise";
        } catch (const ELangError& e) {
            EXPECT_NE(std::string(e.what()).find("line"), std::string::npos) << e.what();
        }
    }
    {
        TestSandbox sandbox;
        sandbox.writeProgramFile("Lang.dll", QByteArray("\x00\x01\x02 binary", 10));
        EXPECT_THROW(LoadLang(), ELangError);
        EXPECT_TRUE(Lang().ItemMap.isEmpty());
    }
}
