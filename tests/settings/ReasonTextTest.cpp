// Reasons for unreadable and failed files, shown in the interface's language.
#include <gtest/gtest.h>

#include "app/Utils.h"
#include "common/TestSandbox.h"
#include "settings/Lang.h"
#include "settings/ReasonText.h"

// Every reason the language file carries is recognised in the engine's English and shown in
// Chinese with its values in place; in English, or with no table, nothing changes.
TEST(ReasonText, ShippedReasonsInChineseAndEnglishUnchanged) {
    TestSandbox sandbox;
    TLang english;
    LoadLangFile(english, sandbox.programFile("Lang.dll"), "en");
    LoadLangFile(Lang(), sandbox.programFile("Lang.dll"), "zh");
    const auto filled = [](const QString& f) { return FormatText(f, QStringList(f.count("%s"), "7")); };
    int reasons = 0;
    for (auto it = english.ItemMap.cbegin(); it != english.ItemMap.cend(); ++it) {
        if (!(it.key().startsWith("Reason") || it.key().startsWith("Note")) || it.key() == "ReasonOther") continue;
        ++reasons;
        EXPECT_EQ(ReasonText(filled(it->EnValue)), filled(GetLangText(it.key()))) << it.key().toStdString();
    }
    EXPECT_GT(reasons, 30);
    // The file before the reason stays; a reason inside a reason is translated; an unknown one is
    // shown inside the general text.
    EXPECT_EQ(ReasonText("/tmp/a: b.mp4: No such file or directory"), QString::fromUtf8("/tmp/a: b.mp4: 文件或文件夹不存在"));
    EXPECT_EQ(ReasonText("Could not open '/o.mp4': Permission denied"), QString::fromUtf8("无法打开“/o.mp4”：没有访问权限"));
    EXPECT_EQ(ReasonText("Strange failure"), QString::fromUtf8("转换引擎报告：Strange failure"));
    for (const char* language : {"en", ""}) {
        ResetLang();
        if (*language) LoadLangFile(Lang(), sandbox.programFile("Lang.dll"), language);
        for (const char* text : {"/tmp/a: b.mp4: No such file or directory", "Strange failure"})
            EXPECT_EQ(ReasonText(text), text) << language;
    }
}
