// Codec threads a task gets as it starts, and a real run showing the encoder got them.
#include <gtest/gtest.h>

#include "convert/CodecThreadRule.h"

TEST(CodecThreadRule, SharesIdleProcessorsAmongTheTasksRunningAtOnce) {
    struct Case {
        int files, processors, cpuCount, finished, expected;
    };
    const Case cases[] = {
        {1, 2, 2, 0, 0},    // one file on two processors: its codecs choose (automatic)
        {1, 8, 8, 0, 0},    // one file, eight processors
        {1, 16, 1, 0, 0},   // one at a time: every task has all processors
        {2, 2, 2, 0, 1},    // as many files as processors: one thread each
        {8, 2, 2, 0, 1},    // a batch: parallelism comes from the files
        {8, 2, 2, 6, 1},    // the last of the batch starts while one other still runs
        {3, 8, 8, 0, 2},    // three files at once on eight processors: 8 / 3
        {8, 8, 2, 0, 4},    // two at a time on eight processors
        {3, 8, 8, 2, 0},    // a task started when it alone is unfinished
        {4, 2, 9, 0, 1},    // more tasks at once than processors: never below one
        {1, 1, 4, 0, 1},
    };
    for (const Case& c : cases) {
        const int unfinished = c.files - c.finished;
        EXPECT_EQ(TCodecThreadRule(c.processors)(c.cpuCount, unfinished), c.expected)
            << c.files << " files, " << c.processors << " processors, CPUCount " << c.cpuCount << ", "
            << c.finished << " finished";
    }
    EXPECT_GE(TCodecThreadRule().Processors(), 1);
}
