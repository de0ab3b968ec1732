#include "online/PcreRegex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <chrono>
#include <stdexcept>
#include <string>

namespace {
using Clock = std::chrono::steady_clock;

// Nanoseconds since the clock's epoch at which matching on this thread stops; 0: no deadline.
thread_local long long tDeadlineNs = 0;

long long nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// Called by PCRE2 at the callout placed at the start of every pattern, so once per starting
// position tried.
int checkDeadline(pcre2_callout_block*, void*) {
    return tDeadlineNs != 0 && nowNs() > tDeadlineNs ? PCRE2_ERROR_CALLOUT : 0;
}

std::string pcreMessage(int code) {
    PCRE2_UCHAR buffer[256];
    pcre2_get_error_message(code, buffer, sizeof buffer);
    return reinterpret_cast<const char*>(buffer);
}

struct MatchDataDeleter {
    void operator()(pcre2_match_data* d) const { pcre2_match_data_free(d); }
};
struct MatchContextDeleter {
    void operator()(pcre2_match_context* c) const { pcre2_match_context_free(c); }
};

std::unique_ptr<pcre2_match_context, MatchContextDeleter> limitedContext() {
    std::unique_ptr<pcre2_match_context, MatchContextDeleter> context(pcre2_match_context_create(nullptr));
    if (!context) throw std::runtime_error("Out of memory for a regular expression match");
    pcre2_set_match_limit(context.get(), TPcreRegex::kMatchLimit);
    pcre2_set_depth_limit(context.get(), TPcreRegex::kDepthLimit);
    pcre2_set_heap_limit(context.get(), TPcreRegex::kHeapLimitKiB);
    return context;
}
}  // namespace

TRegexDeadline::TRegexDeadline(int ms) : previous_(tDeadlineNs) {
    const long long at = nowNs() + static_cast<long long>(ms) * 1000000;
    tDeadlineNs = previous_ != 0 && previous_ < at ? previous_ : at;
}

TRegexDeadline::~TRegexDeadline() {
    tDeadlineNs = previous_;
}

TPcreRegex::TPcreRegex(const char* pattern) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    // The leading callout lets a match look at the thread's deadline at each starting position.
    const std::string withCallout = std::string("(?C1)") + pattern;
    code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(withCallout.c_str()), PCRE2_ZERO_TERMINATED,
                          PCRE2_CASELESS | PCRE2_MULTILINE | PCRE2_UTF, &error, &offset, nullptr);
    if (!code_)
        throw std::runtime_error("Regular expression error at " + std::to_string(offset - 5) + ": " +
                                 pcreMessage(error));
}

TPcreRegex::~TPcreRegex() {
    pcre2_code_free(code_);
}

bool TPcreRegex::find(const QByteArray& subject, size_t from, size_t* start, size_t* end) const {
    std::unique_ptr<pcre2_match_data, MatchDataDeleter> data(
        pcre2_match_data_create_from_pattern(code_, nullptr));
    if (!data) throw std::runtime_error("Out of memory for a regular expression match");
    const auto context = limitedContext();
    pcre2_set_callout(context.get(), checkDeadline, nullptr);
    // Subjects come from QString::toUtf8, so they are valid UTF-8 and need no check.
    const int rc = pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(subject.constData()),
                               static_cast<PCRE2_SIZE>(subject.size()), from, PCRE2_NO_UTF_CHECK, data.get(),
                               context.get());
    if (rc == PCRE2_ERROR_NOMATCH) return false;
    if (rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT || rc == PCRE2_ERROR_HEAPLIMIT)
        throw ERegexLimit("Regular expression match stopped: " + pcreMessage(rc));
    if (rc == PCRE2_ERROR_CALLOUT) throw ERegexLimit("Regular expression match stopped: out of time");
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
        if (end == start) {  // an empty match: keep one character (all its UTF-8 bytes) and go on
            pos = start + 1;
            while (pos < size && (static_cast<unsigned char>(subject[static_cast<qsizetype>(pos)]) & 0xC0) == 0x80)
                ++pos;
            if (start < size) out.append(subject.constData() + start, static_cast<qsizetype>(pos - start));
        } else {
            pos = end;
        }
    }
    if (pos < size) out.append(subject.constData() + pos, static_cast<qsizetype>(size - pos));
    return out;
}
