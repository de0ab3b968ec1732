#pragma once
// How many codec threads (decoder, encoder with its look-ahead, picture filters) a conversion
// task gets as it starts. A run's parallelism comes first from running several files at once;
// processors that would stay idle because fewer files than processors run at once go to the
// tasks' codecs instead: max(1, processors / tasks that will run at once), where the tasks that
// will run at once are the fewer of the run width and the run's tasks not finished yet. A task
// that has every processor to itself gets 0: each codec then chooses its own count (libx264
// runs one and a half threads per processor), as the ffmpeg command line does.
//
// Handed to the task component (its CodecThreadsAtStart), which calls it on the thread that
// starts a task; it holds no state besides the processor count.

class TCodecThreadRule {
public:
    // processors <= 0: the processors of this machine.
    explicit TCodecThreadRule(int processors = 0);

    static int ThreadsFor(int processors, int runWidth, int unfinished);
    int operator()(int runWidth, int unfinished) const {
        return ThreadsFor(processors_, runWidth, unfinished);
    }
    int Processors() const { return processors_; }

private:
    int processors_;
};
