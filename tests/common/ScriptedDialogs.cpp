#include "common/ScriptedDialogs.h"

#include <QDialog>

ScriptedDialogs::ScriptedDialogs() : previous_(&MessageDialogs()) {
    InstallMessageDialogs(this);
}

ScriptedDialogs::~ScriptedDialogs() {
    InstallMessageDialogs(nullptr);
}

QStringList ScriptedDialogs::texts(const QString& kind) const {
    QStringList out;
    for (const Call& c : calls)
        if (kind.isEmpty() || c.kind == kind) out << c.text;
    return out;
}

int ScriptedDialogs::count(const QString& kind) const {
    return static_cast<int>(texts(kind).size());
}

int ScriptedDialogs::nextAnswer() {
    return answers.isEmpty() ? defaultAnswer : answers.takeFirst();
}

void ScriptedDialogs::ShowInfo(const QString& text) {
    calls.append({"ShowInfo", text, QString(), false});
}

int ScriptedDialogs::AskQuestion(const QString& text, const QString& title, bool multiAsk) {
    calls.append({"AskQuestion", text, title, multiAsk});
    return nextAnswer();
}

void ScriptedDialogs::MessageBox(const QString& text, const QString& caption) {
    calls.append({"MessageBox", text, caption, false});
}

int ScriptedDialogs::YesNoBox(const QString& text, const QString& caption) {
    calls.append({"YesNoBox", text, caption, false});
    return nextAnswer();
}

bool ScriptedDialogs::BrowseForFolder(const QString& title, QWidget*, QString& path) {
    calls.append({"BrowseForFolder", QString(), title, false});
    if (folders.isEmpty()) return false;
    path = folders.takeFirst();
    return !path.isEmpty();
}

QStringList ScriptedDialogs::OpenFiles(const QString& title, const QString& filter, QWidget*) {
    calls.append({"OpenFiles", filter, title, false});
    return fileLists.isEmpty() ? QStringList() : fileLists.takeFirst();
}

int ScriptedDialogs::ExecDialog(QDialog* dialog) {
    calls.append(
        {"Dialog", QString::fromLatin1(dialog->metaObject()->className()), dialog->windowTitle(), false});
    if (dialogHandlers.isEmpty()) return 1;
    return dialogHandlers.takeFirst()(dialog);
}
