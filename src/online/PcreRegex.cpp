#include "online/PcreRegex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <stdexcept>
#include <string>

namespace {
std::string pcreMessage(int code) {
    PCRE2_UCHAR buffer[256];
    pcre2_get_error_message(code, buffer, sizeof buffer);
    return reinterpret_cast<const char*>(buffer);
}

struct MatchDataDeleter {
    void operator()(pcre2_match_data* d) const { pcre2_match_data_free(d); }
};
}  // namespace

TPcreRegex::TPcreRegex(const char* pattern) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED,
                          PCRE2_CASELESS | PCRE2_MULTILINE | PCRE2_UTF, &error, &offset, nullptr);
    if (!code_)
        throw std::runtime_error("Regular expression error at " + std::to_string(offset) + ": " +
                                 pcreMessage(error));
}

TPcreRegex::~TPcreRegex() {
    pcre2_code_free(code_);
}

bool TPcreRegex::find(const QByteArray& subject, size_t from, size_t* start, size_t* end) const {
    std::unique_ptr<pcre2_match_data, MatchDataDeleter> data(
        pcre2_match_data_create_from_pattern(code_, nullptr));
    if (!data) throw std::runtime_error("Out of memory for a regular expression match");
    // Subjects come from QString::toUtf8, so they are valid UTF-8 and need no check.
    const int rc =
        pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(subject.constData()),
                    static_cast<PCRE2_SIZE>(subject.size()), from, PCRE2_NO_UTF_CHECK, data.get(), nullptr);
    if (rc == PCRE2_ERROR_NOMATCH) return false;
    if (rc < 0) throw std::runtime_error("Regular expression match failed: " + pcreMessage(rc));
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data.get());
    *start = ov[0];
    *end = ov[1];
    return true;
}

bool TPcreRegex::Match(const QByteArray& subject, QByteArray* whole) const {
    size_t start = 0, end = 0;
    if (!find(subject, 0, &start, &end)) return false;
    if (whole) *whole = subject.mid(static_cast<qsizetype>(start), static_cast<qsizetype>(end - start));
    return true;
}

QByteArray TPcreRegex::RemoveAll(const QByteArray& subject) const {
    QByteArray out;
    size_t pos = 0, start = 0, end = 0;
    const size_t size = static_cast<size_t>(subject.size());
    while (pos <= size && find(subject, pos, &start, &end)) {
        out.append(subject.constData() + pos, static_cast<qsizetype>(start - pos));
        if (end == start) {  // an empty match: keep one character and go on after it
            if (start < size) out.append(subject[static_cast<qsizetype>(start)]);
            pos = start + 1;
        } else {
            pos = end;
        }
    }
    if (pos < size) out.append(subject.constData() + pos, static_cast<qsizetype>(size - pos));
    return out;
}
