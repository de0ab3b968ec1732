// Reasons for unreadable and failed files, shown in the interface's language.
#include <gtest/gtest.h>

#include "app/Utils.h"
#include "common/TestSandbox.h"
#include "settings/Lang.h"
#include "settings/ReasonText.h"

namespace {
QString filled(const QString& format) {
    return FormatText(format, QStringList(format.count("%s"), QStringLiteral("7")));
}
}  // namespace

// Every reason the language file carries is recognised in the engine's English and shown in
// Chinese, with its names and numbers in place.
TEST(ReasonText, EveryShippedReasonIsShownInChinese) {
    TestSandbox sandbox;
    TLang english;
    LoadLangFile(english, sandbox.programFile("Lang.dll"), "en");
    ResetLang();
    LoadLangFile(Lang(), sandbox.programFile("Lang.dll"), "zh");
    int reasons = 0;
    for (auto it = english.ItemMap.cbegin(); it != english.ItemMap.cend(); ++it) {
        if (!(it.key().startsWith("Reason") || it.key().startsWith("Note")) || it.key() == "ReasonOther") continue;
        ++reasons;
        const QString zh = GetLangText(it.key());
        EXPECT_EQ(zh.count("%s"), it->EnValue.count("%s")) << it.key().toStdString();
        EXPECT_EQ(ReasonText(filled(it->EnValue)), filled(zh)) << it.key().toStdString();
    }
    EXPECT_GT(reasons, 30);

    // The file named before the reason stays; a reason inside a reason is translated too; a
    // reason without a pattern is shown inside the general text.
    EXPECT_EQ(ReasonText("/tmp/a: b.mp4: No such file or directory"),
              QString::fromUtf8("/tmp/a: b.mp4: 文件或文件夹不存在"));
    EXPECT_EQ(ReasonText("Could not open '/out/x.mp4': Permission denied"),
              QString::fromUtf8("无法打开“/out/x.mp4”：没有访问权限"));
    EXPECT_EQ(ReasonText("x.mp4: Error number -22 occurred"), QString::fromUtf8("x.mp4: 发生错误（错误号 -22）"));
    EXPECT_EQ(ReasonText("Strange failure"), QString::fromUtf8("转换引擎报告：Strange failure"));
    EXPECT_EQ(ReasonText(""), "");

    // In English, and without a table at all, every text comes back unchanged.
    for (const char* language : {"en", ""}) {
        ResetLang();
        if (*language) LoadLangFile(Lang(), sandbox.programFile("Lang.dll"), language);
        for (const char* text : {"/tmp/a: b.mp4: No such file or directory", "Could not open '/o': Is a directory",
                                 "2 more sound tracks not kept: only MKV keeps them all", "Strange failure"})
            EXPECT_EQ(ReasonText(text), text) << language;
    }
    ResetLang();
}
