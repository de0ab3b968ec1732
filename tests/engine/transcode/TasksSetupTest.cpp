// The task component while a run is being built: the option-text syntax, the phases in which
// option texts and record fields are applied, the text overloads, list operations, the file
// limits and the stream forms.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/EngineFixtures.h"
#include "common/MediaFixtures.h"
#include "engine/transcode/FFmpegTasks.h"
#include "engine/transcode/OptionText.h"

namespace {

using namespace enginetest;

TEST(OptionText, Syntax) {
    using L = std::vector<TOptionLine>;
    EXPECT_EQ(ParseOptionText("vn=1<CRLF>ar=44100"), (L{{"vn", "1"}, {"ar", "44100"}}));
    EXPECT_EQ(ParseOptionText("vn=1\r\nar=44100"), ParseOptionText("vn=1<CRLF>ar=44100"));
    EXPECT_EQ(ParseOptionText("vn=1\rar=44100\n"), ParseOptionText("vn=1<CRLF>ar=44100"));
    EXPECT_EQ(ParseOptionText("  \n vn=1 \n\t"), (L{{"vn", "1"}}));  // the text is trimmed, lines are not
    EXPECT_EQ(ParseOptionText("a=1\n\nb=2"), (L{{"a", "1"}, {"", ""}, {"b", "2"}}));
    EXPECT_EQ(ParseOptionText("metadata=title=A=B"), (L{{"metadata", "title=A=B"}}));
    EXPECT_EQ(ParseOptionText("vn"), (L{{"vn", ""}}));
    EXPECT_EQ(ParseOptionText("=5\n=\nx ="), (L{{"", "5"}, {"", ""}, {"x ", ""}}));
    EXPECT_EQ(ParseOptionText("<CRLF><CRLF>a=1<CRLF>"), (L{{"", ""}, {"", ""}, {"a", "1"}}));
    EXPECT_TRUE(ParseOptionText("").empty());
    EXPECT_TRUE(ParseOptionText(" \r\n ").empty());
    EXPECT_EQ(LowerCaseAscii("VCodec=ÄÖ"), "vcodec=ÄÖ");
}

class TasksSetupTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadTaskLibraries();
        ASSERT_TRUE(tasks_.AVLibLoaded());
    }
    const TOutputStreamSpec& Stream(int task, AVMediaType type) {
        for (const TOutputStreamSpec& s : tasks_.Task(task)->Foutput_files.at(0).file->streams)
            if (s.type == type) return s;
        throw std::runtime_error("no such stream");
    }
    static std::string Dict(const AVDictionary* dict, const char* key) {
        const AVDictionaryEntry* e = ff::av_dict_get(dict, key, nullptr, 0);
        return e ? e->value : "<none>";
    }
    TFFmpegTasks tasks_;
    fixtures::TempDir dir_;
};

TEST_F(TasksSetupTest, CodecsBeforePresetsBeforeTheRest) {
    // A preset that sets the bit rate, an option text that sets it too: the text's b comes
    // after the presets whatever its line order, the presets come in their own order, and the
    // codec comes before them.
    const std::string preset = dir_.file("rate.ffpreset");
    fixtures::WriteFile(preset, "b=500000\ng=50\n");
    const int t = tasks_.AddTask(Avi25(), "");
    ASSERT_GE(t, 0) << tasks_.LastErrMsg();
    ASSERT_TRUE(tasks_.SetOutputFile(
        t, dir_.file("out.mkv"), "b=1000000<CRLF>vpre=default<CRLF>vpre=" + preset + "<CRLF>vcodec=libx264"))
        << tasks_.LastErrMsg();
    const TOutputStreamSpec& video = Stream(t, AVMEDIA_TYPE_VIDEO);
    EXPECT_STREQ(video.encoder->name, "libx264");
    EXPECT_EQ(Dict(video.codec_opts.get(), "b"), "1000000");
    EXPECT_EQ(Dict(video.codec_opts.get(), "g"), "50");
    EXPECT_EQ(Dict(video.codec_opts.get(), "me_method"), "hex");  // "default" found as libx264-default
}

TEST_F(TasksSetupTest, RecordFieldsOverrideTheSameOptionGivenAsText) {
    const int t = tasks_.AddTask(Avi25(), "");
    ASSERT_GE(t, 0);
    TOutputOptions out;
    out.VideoCodec = "mpeg4";
    out.FrameSize = "176x144";
    out.TimeLength = 1000000;
    out.AudioChannels = 1;
    out.ExtOptions = "vcodec=libx264<CRLF>s=640x480<CRLF>t=5<CRLF>ac=2<CRLF>async=1<CRLF>vol=300";
    ASSERT_TRUE(tasks_.SetOutputFile(t, dir_.file("out.avi"), out)) << tasks_.LastErrMsg();
    TFFmpeg& task = *tasks_.Task(t);
    const TOutputStreamSpec& video = Stream(t, AVMEDIA_TYPE_VIDEO);
    EXPECT_STREQ(video.encoder->name, "mpeg4");
    EXPECT_EQ(video.width, 176);
    EXPECT_EQ(video.height, 144);
    EXPECT_EQ(Stream(t, AVMEDIA_TYPE_AUDIO).channels, 1);
    EXPECT_EQ(task.Frecording_time, 1000000);
    // Record defaults do not undo the text.
    EXPECT_EQ(task.Faudio_sync_method, 1);
    EXPECT_EQ(task.Faudio_volume, 300);
    EXPECT_EQ(task.OutputOptions(0).FileName, dir_.file("out.avi"));
}

TEST_F(TasksSetupTest, InputOptionsAndTheTextOverloads) {
    // A TimeStart line becomes the record's start; the rest reaches the dispatcher.
    const int t = tasks_.AddTask(InfoMp4(), "TIMESTART=500000<CRLF>itsoffset=1");
    ASSERT_GE(t, 0) << tasks_.LastErrMsg();
    TFFmpeg& task = *tasks_.Task(t);
    EXPECT_EQ(task.InputOptions(0).TimeStart, 500000);
    EXPECT_EQ(task.InputOptions(0).ExtOptions, "itsoffset=1");
    EXPECT_EQ(task.InputOptions(0).FileName, InfoMp4());
    EXPECT_EQ(task.Finput_files.at(0)->ts_offset, 1000000 - 500000);
    EXPECT_EQ(task.TotalOutputDuration(), task.InputContext(0)->duration);
    ASSERT_NE(task.AVProbe(0), nullptr);
    EXPECT_EQ(task.AVProbe(0)->FileHandle(), task.InputContext(0));
    EXPECT_EQ(task.AVProbe(0)->VideoStreamCount(), 1);

    // A start time that is no number leaves the start unset.
    const int u = tasks_.AddTask(InfoMp4(), "TimeStart=soon");
    ASSERT_GE(u, 0);
    EXPECT_EQ(tasks_.Task(u)->InputOptions(0).TimeStart, kNoTimestamp);

    // Output text: the special names set the fields and stay in the text.
    const std::string text = "Join<CRLF>hook=0<CRLF>TimeStart=100<CRLF>timelength=2000000<CRLF>an=1";
    ASSERT_TRUE(tasks_.AddInputFile(t, Avi25(), ""));
    ASSERT_TRUE(tasks_.SetOutputFile(t, dir_.file("joined.mp4"), text)) << tasks_.LastErrMsg();
    const TOutputOptions& o = task.OutputOptions(0);
    EXPECT_TRUE(o.Join);
    EXPECT_TRUE(o.CustomHook);
    EXPECT_EQ(o.TimeStart, 100);
    EXPECT_EQ(o.TimeLength, 2000000);
    EXPECT_EQ(o.ExtOptions, text);
    EXPECT_TRUE(task.JoinMode());
    EXPECT_EQ(task.OutputFileCount(), 2);  // one group of output streams per input
    EXPECT_TRUE(static_cast<bool>(task.FOnCustomHook));
}

TEST_F(TasksSetupTest, ListOperations) {
    const int a = tasks_.AddTask(InfoMp4());
    const int b = tasks_.AddTask(Avi25());
    ASSERT_EQ(a, 0);
    ASSERT_EQ(b, 1);
    EXPECT_EQ(tasks_.TasksCount(), 2);
    TFFmpeg* first = tasks_.Task(0);
    EXPECT_TRUE(tasks_.Exchange(0, 1));
    EXPECT_EQ(tasks_.Task(1), first);
    EXPECT_FALSE(tasks_.Exchange(0, 2));
    EXPECT_EQ(tasks_.LastErrMsg(), "List index out of bounds (2)");
    EXPECT_FALSE(tasks_.AddInputFile(5, Avi25(), TInputOptions{}));
    EXPECT_EQ(tasks_.LastErrMsg(), "List index out of bounds (5)");
    EXPECT_TRUE(tasks_.RemoveTask(0));
    EXPECT_EQ(tasks_.Task(0), first);
    EXPECT_FALSE(tasks_.RemoveTask(-1));
    EXPECT_TRUE(tasks_.ClearTasks());
    EXPECT_EQ(tasks_.TasksCount(), 0);
    EXPECT_EQ(tasks_.LastErrMsg(), "");

    tasks_.SetProgressInterval(50);
    EXPECT_EQ(tasks_.ProgressInterval(), 100);
    tasks_.SetProgressInterval(200);
    EXPECT_EQ(tasks_.ProgressInterval(), 200);

    // Preview switches reach existing tasks.
    ASSERT_EQ(tasks_.AddTask(Avi25()), 0);
    tasks_.SetPreviewBitmap(true);
    EXPECT_TRUE(tasks_.Task(0)->PostHooks().Contains(TPostHook::phBitmap));
    tasks_.SetPreviewBitmap(false);
    EXPECT_TRUE(tasks_.Task(0)->PostHooks().Empty());
}

TEST_F(TasksSetupTest, FileLimits) {
    const int t = tasks_.AddTask(InfoWav());
    ASSERT_GE(t, 0);
    TFFmpeg& task = *tasks_.Task(t);
    EXPECT_EQ(task.FMaxFiles, 500);
    task.FMaxFiles = 2;  // the limit's check, without opening 500 files
    EXPECT_TRUE(tasks_.AddInputFile(t, InfoWav(), ""));
    EXPECT_FALSE(tasks_.AddInputFile(t, InfoWav(), ""));
    EXPECT_EQ(tasks_.LastErrMsg(), "max input files 2 reached");
    EXPECT_TRUE(tasks_.SetOutputFile(t, dir_.file("a.wav"), ""));
    EXPECT_TRUE(tasks_.SetOutputFile(t, dir_.file("b.wav"), ""));
    EXPECT_FALSE(tasks_.SetOutputFile(t, dir_.file("c.wav"), ""));
    EXPECT_EQ(tasks_.LastErrMsg(), "max output files 2 reached");
}

// A stream over a string (input) or into one (output).
class MemoryStream : public TEngineStream {
public:
    explicit MemoryStream(std::string data = {}) : data_(std::move(data)) {}
    int Read(uint8_t* buffer, int size) override {
        const int n = static_cast<int>(std::min<int64_t>(size, static_cast<int64_t>(data_.size()) - pos_));
        if (n <= 0) return 0;
        std::memcpy(buffer, data_.data() + pos_, n);
        pos_ += n;
        return n;
    }
    int Write(const uint8_t* buffer, int size) override {
        if (pos_ + size > static_cast<int64_t>(data_.size())) data_.resize(pos_ + size);
        std::memcpy(data_.data() + pos_, buffer, size);
        pos_ += size;
        return size;
    }
    int64_t Seek(int64_t offset, int whence) override {
        const int64_t base = whence == SEEK_SET   ? 0
                             : whence == SEEK_CUR ? pos_
                                                  : static_cast<int64_t>(data_.size());
        if (base + offset < 0) return -1;
        pos_ = base + offset;
        return pos_;
    }
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }
    const std::string& Data() const { return data_; }

private:
    std::string data_;
    int64_t pos_ = 0;
};

TEST_F(TasksSetupTest, StreamForms) {
    MemoryStream in(fixtures::ReadFile(InfoMp4()));
    MemoryStream out;
    const int t = tasks_.AddTask(&in, "clip.mp4", TInputOptions{});
    ASSERT_GE(t, 0) << tasks_.LastErrMsg();
    TFFmpeg& task = *tasks_.Task(t);
    EXPECT_EQ(task.InputOptions(0).FileName.rfind("stream:", 0), 0u);
    EXPECT_EQ(task.InputContext(0)->nb_streams, 2u);
    TOutputOptions options;
    options.VideoCodec = "mpeg4";
    ASSERT_TRUE(tasks_.SetOutputStream(t, &out, options, "copy.avi")) << tasks_.LastErrMsg();
    EXPECT_STREQ(task.OutputContext(0)->oformat->name, "avi");  // guessed from the private data
    task.SetupTranscode();
    EXPECT_EQ(out.Data().compare(0, 4, "RIFF"), 0);
    task.CleanupRun();
}

}  // namespace
