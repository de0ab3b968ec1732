#pragma once
// A compiled PCRE2 expression (UTF-8, case-insensitive, multi-line) working on UTF-8 text.
// Compilation and matching failures are raised as std::runtime_error with PCRE2's message.

#include <QByteArray>
#include <memory>

struct pcre2_real_code_8;

class TPcreRegex {
public:
    explicit TPcreRegex(const char* pattern);
    ~TPcreRegex();
    TPcreRegex(const TPcreRegex&) = delete;
    TPcreRegex& operator=(const TPcreRegex&) = delete;

    // The first match in `subject`; false when there is none.
    bool Match(const QByteArray& subject, QByteArray* whole) const;
    // `subject` with every match removed.
    QByteArray RemoveAll(const QByteArray& subject) const;

private:
    // Start and end offsets of the first match at or after `from`; false when none.
    bool find(const QByteArray& subject, size_t from, size_t* start, size_t* end) const;
    pcre2_real_code_8* code_;
};
