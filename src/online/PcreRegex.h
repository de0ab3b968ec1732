#pragma once
// A compiled PCRE2 expression (UTF-8, case-insensitive, multi-line) working on UTF-8 text.
// Compilation and matching failures are raised as std::runtime_error with PCRE2's message.
// Every match runs within limits (steps, backtracking depth, memory), so a subject built to make
// an expression backtrack ends the match quickly with ERegexLimit instead of taking minutes.
// PCRE2's step limit counts per starting position, so a subject that makes every one of its
// positions expensive could still take minutes in total; a TRegexDeadline set on the thread ends
// all matching on it at a fixed time (checked at every starting position), also with ERegexLimit.
// A compiled expression may be used by several threads at once.

#include <QByteArray>
#include <memory>
#include <stdexcept>

struct pcre2_real_code_8;

class ERegexLimit : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// While it lives, matches on this thread stop with ERegexLimit once `ms` milliseconds have passed.
class TRegexDeadline {
public:
    explicit TRegexDeadline(int ms);
    ~TRegexDeadline();
    TRegexDeadline(const TRegexDeadline&) = delete;
    TRegexDeadline& operator=(const TRegexDeadline&) = delete;

private:
    long long previous_;
};

class TPcreRegex {
public:
    // Steps of one match (PCRE2's match limit), backtracking depth and backtracking memory.
    static constexpr unsigned kMatchLimit = 1000000;
    static constexpr unsigned kDepthLimit = 10000;
    static constexpr unsigned kHeapLimitKiB = 16 * 1024;

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
