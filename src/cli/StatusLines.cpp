#include "cli/StatusLines.h"

namespace {
constexpr qint64 kPlainIntervalMs = 1000;
}

StatusLines::StatusLines(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {
    clock_.start();
}

void StatusLines::erase() {
    // Up to the first status line, clearing each one.
    for (int i = 0; i < drawn_; ++i)
        std::fputs("\033[1A\r\033[2K", out_);
    drawn_ = 0;
}

void StatusLines::redraw() {
    // The file lines in row order, the run's line last.
    for (const auto& [key, text] : status_)
        if (key >= 0) std::fprintf(out_, "%s\n", text.toUtf8().constData());
    const auto run = status_.find(-1);
    if (run != status_.end()) std::fprintf(out_, "%s\n", run->second.toUtf8().constData());
    drawn_ = static_cast<int>(status_.size());
    std::fflush(out_);
}

void StatusLines::Status(int key, const QString& text) {
    if (terminal_) {
        auto it = status_.find(key);
        if (it != status_.end() && it->second == text) return;
        erase();
        status_[key] = text;
        redraw();
        return;
    }
    const qint64 now = clock_.elapsed();
    auto last = printed_.find(key);
    if (last != printed_.end() && now - last->second < kPlainIntervalMs) return;
    printed_[key] = now;
    std::fprintf(out_, "%s\n", text.toUtf8().constData());
    std::fflush(out_);
}

void StatusLines::Lasting(int key, const QString& text) {
    if (terminal_) {
        erase();
        status_.erase(key);
        std::fprintf(out_, "%s\n", text.toUtf8().constData());
        redraw();
        return;
    }
    std::fprintf(out_, "%s\n", text.toUtf8().constData());
    std::fflush(out_);
}

void StatusLines::Finish() {
    if (terminal_) erase();
    status_.clear();
    std::fflush(out_);
}
