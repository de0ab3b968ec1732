#pragma once
// Why a file could not be read or converted, in the interface's language. The engine and the
// output naming write their reasons in English ("<file>: No such file or directory", "Could not
// open '<path>'"); the windows that show them (the conversion rows, the finish message, the
// unreadable-files list) pass each through ReasonText, which finds the reason's pattern and takes
// its text from the language table, keeping the names and numbers it carries. A reason with no
// pattern of its own is shown inside the table's general "ReasonOther" text. The notes on what an
// output could not keep of its source go the same way. Without a language
// table (the command-line program, tests) every text comes back as it was.
// Any thread, once the language table has been loaded (it only reads the table).

#include <QString>

QString ReasonText(const QString& reason);
