#include <gtest/gtest.h>

#include "tools/ClipRange.h"

namespace {
constexpr qint64 kSec = 1000000;

struct Case {
    const char* what;
    qint64 start, end;  // range before the action
    char action;        // 'S' typed start, 'E' typed end, 's' start from slider, 'e' end from slider
    qint64 value;       // typed time, or slider position
    TClipRange::Check check;
    qint64 startAfter, endAfter;
};

// A 30-second file on a 479-pixel slider.
const Case kCases[] = {
    {"typed start inside the range", 0, 30 * kSec, 'S', 5 * kSec, TClipRange::crOk, 5 * kSec, 30 * kSec},
    {"typed start equal to the end", 0, 20 * kSec, 'S', 20 * kSec, TClipRange::crOk, 20 * kSec, 20 * kSec},
    {"typed start after the end", 2 * kSec, 20 * kSec, 'S', 21 * kSec, TClipRange::crStartGreatEnd, 2 * kSec,
     20 * kSec},
    {"typed end equal to the duration", 0, 10 * kSec, 'E', 30 * kSec, TClipRange::crOk, 0, 30 * kSec},
    {"typed end one second past the duration", 0, 10 * kSec, 'E', 31 * kSec, TClipRange::crEndGreatTotal, 0,
     10 * kSec},
    {"typed end equal to the start", 5 * kSec, 10 * kSec, 'E', 5 * kSec, TClipRange::crEndGreatStart,
     5 * kSec, 10 * kSec},
    {"typed end before the start", 5 * kSec, 10 * kSec, 'E', 1 * kSec, TClipRange::crEndGreatStart, 5 * kSec,
     10 * kSec},
    {"typed end past the duration and before the start", 5 * kSec, 10 * kSec, 'E', 99 * kSec,
     TClipRange::crEndGreatTotal, 5 * kSec, 10 * kSec},
    // 479 * 30 s / 479 = 30 s; position 100 -> 100 * 30e6 / 479, truncated.
    {"start from the slider", 0, 30 * kSec, 's', 100, TClipRange::crOk, 100 * 30 * kSec / 479, 30 * kSec},
    {"start from the slider after the end stays uncorrected", 0, 10 * kSec, 's', 300, TClipRange::crOk,
     300 * 30 * kSec / 479, 10 * kSec},
    {"end from the slider at its maximum", 0, 10 * kSec, 'e', 479, TClipRange::crOk, 0, 30 * kSec},
};
}  // namespace

TEST(ClipRangeTest, RangeRules) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        TClipRange r;
        r.totalTime = 30 * kSec;
        r.Max = 479;
        r.startTime = c.start;
        r.endTime = c.end;
        TClipRange::Check got = TClipRange::crOk;
        switch (c.action) {
            case 'S':
                got = r.TypeStart(c.value);
                break;
            case 'E':
                got = r.TypeEnd(c.value);
                break;
            case 's':
                r.SetStartAt(static_cast<int>(c.value));
                break;
            case 'e':
                r.SetEndAt(static_cast<int>(c.value));
                break;
        }
        EXPECT_EQ(got, c.check);
        EXPECT_EQ(r.startTime, c.startAfter);
        EXPECT_EQ(r.endTime, c.endAfter);
        EXPECT_EQ(TClipRange::MessageKey(got).isEmpty(), got == TClipRange::crOk);
    }
}

TEST(ClipRangeTest, SliderScaleSelectionAndTicks) {
    TClipRange r;
    r.totalTime = 30 * kSec;
    r.Max = 479;
    r.Reset();
    EXPECT_TRUE(r.IsWhole());
    r.startTime = 6 * kSec;
    r.endTime = 12 * kSec;
    EXPECT_FALSE(r.IsWhole());
    EXPECT_EQ(r.Length(), 6 * kSec);
    EXPECT_EQ(r.SelStart(), 95);                              // 6 * 479 / 30 = 95.8
    EXPECT_EQ(r.SelEnd(), 191 - 1);                           // 12 * 479 / 30 = 191.6
    EXPECT_EQ(r.PositionOfTime(r.TimeOfPosition(200)), 199);  // truncation both ways
    r.Reset();
    EXPECT_TRUE(r.IsWhole());

    TClipRange empty;  // nothing opened: no division by zero
    EXPECT_EQ(empty.TimeOfPosition(10), 0);
    EXPECT_EQ(empty.PositionOfTime(10), 0);

    EXPECT_EQ(TClipRange::TickFrequency(30 * kSec, 479), 10);
    EXPECT_EQ(TClipRange::TickFrequency(600 * kSec, 479), 2);
}
