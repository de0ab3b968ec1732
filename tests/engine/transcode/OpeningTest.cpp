// Opening inputs and outputs and setting a run up to its headers: the refusals and their exact
// texts, the settings that reach streams, and bad option texts.
#include <dirent.h>
#include <gtest/gtest.h>

#include "engine/EngineFixtures.h"
#include "common/MediaFixtures.h"
#include "common/ReadOnlyFolder.h"
#include "engine/transcode/FFmpegTasks.h"

namespace {

using namespace enginetest;

int OpenDescriptors() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d))
            ++n;
        ::closedir(d);
    }
    return n;
}

class OpeningTest : public ::testing::Test {
protected:
    void SetUp() override { LoadTaskLibraries(); }

    // AddTask + SetOutputFile; "" when both succeed, else the component's error.
    std::string Open(const std::string& input, const std::string& inputText, const std::string& output,
                     const std::string& outputText) {
        tasks_.ClearTasks();
        const int t = tasks_.AddTask(input, inputText);
        if (t < 0) return tasks_.LastErrMsg();
        if (!tasks_.SetOutputFile(t, output, outputText)) return tasks_.LastErrMsg();
        return "";
    }
    // Open, then set the run up; "" when the headers are written, else the error.
    std::string Setup(const std::string& input, const std::string& inputText, const std::string& output,
                      const std::string& outputText) {
        const std::string opened = Open(input, inputText, output, outputText);
        if (!opened.empty()) return "open: " + opened;
        TFFmpeg& task = *tasks_.Task(0);
        std::string error;
        try {
            task.SetupTranscode();
        } catch (const FFmpegException& e) {
            error = e.what();
        }
        return error;
    }

    TFFmpegTasks tasks_;
    fixtures::TempDir dir_;
};

TEST_F(OpeningTest, UnknownFormatsAndCodecs) {
    const std::string mp4 = InfoMp4();
    const std::string out = dir_.file("out.mp4");
    EXPECT_EQ(Open(mp4, "f=nosuch", out, ""), "Unknown input format: \"nosuch\"");
    EXPECT_EQ(Open(mp4, "vcodec=nosuch", out, ""), "Unknown decoder 'nosuch'");
    EXPECT_EQ(Open(mp4, "vcodec=aac", out, ""), "Invalid decoder type 'aac'");
    EXPECT_EQ(Open(dir_.file("none.mp4"), "", out, ""),
              dir_.file("none.mp4") + ": No such file or directory");
    EXPECT_EQ(Open(mp4, "", out, "f=nosuch"),
              "Requested output format 'nosuch' is not a suitable output format");
    EXPECT_EQ(Open(mp4, "", dir_.file("out.qqq"), ""),
              "Unable to find a suitable output format for '" + dir_.file("out.qqq") + "'");
    EXPECT_EQ(Open(mp4, "", out, "vcodec=nosuch"), "Unknown encoder 'nosuch'");
    EXPECT_EQ(Open(mp4, "", out, "acodec=mpeg4"), "Invalid encoder type 'mpeg4'");
    // Forcing a decoder that exists is fine.
    EXPECT_EQ(Open(mp4, "vcodec=h264", out, ""), "");
}

TEST_F(OpeningTest, ProgramIds) {
    const std::string ts = InfoTs();
    EXPECT_EQ(Open(ts, "programid=99", dir_.file("a.mkv"), ""), "Specified program id not found");
    EXPECT_EQ(Open(ts, "programid=1", dir_.file("b.mkv"), ""), "");
    TInputOptions options;
    options.ProgramID = 7;
    tasks_.ClearTasks();
    EXPECT_EQ(tasks_.AddTask(ts, options), -1);
    EXPECT_EQ(tasks_.LastErrMsg(), "Specified program id not found");
}

TEST_F(OpeningTest, OutputsIntoFoldersThatRefuse) {
    const std::string missing = dir_.file("no/such/folder/out.mp4");
    EXPECT_EQ(Open(InfoMp4(), "", missing, ""), "Could not open '" + missing + "'");
    const std::string locked = dir_.file("locked");
    fixtures::Run("mkdir " + fixtures::ShellQuote(locked));
    ReadOnlyFolder readOnly(locked);
    if (!readOnly.ok()) GTEST_SKIP() << "cannot make a read-only folder here";
    EXPECT_EQ(Open(InfoMp4(), "", locked + "/out.mp4", ""), "Could not open '" + locked + "/out.mp4'");
    EXPECT_FALSE(fixtures::FileExists(locked + "/out.mp4"));
}

TEST_F(OpeningTest, JoinTakesOneOutputAndSumsTheDurations) {
    const int t = tasks_.AddTask(Avi25(), "");
    ASSERT_GE(t, 0);
    ASSERT_TRUE(tasks_.AddInputFile(t, InfoMp4(), ""));
    ASSERT_TRUE(tasks_.SetOutputFile(t, dir_.file("joined.avi"), "Join")) << tasks_.LastErrMsg();
    TFFmpeg& task = *tasks_.Task(t);
    EXPECT_EQ(task.TotalOutputDuration(), task.InputContext(0)->duration + task.InputContext(1)->duration);
    EXPECT_FALSE(tasks_.SetOutputFile(t, dir_.file("second.avi"), ""));
    EXPECT_EQ(tasks_.LastErrMsg(), "Cannot join more than one output file.");
    // The run's set-up maps each group to its own input.
    task.SetupTranscode();
    task.CleanupRun();
}

TEST_F(OpeningTest, StreamMaps) {
    const std::string avi = Avi25();  // stream 0 video, stream 1 audio
    EXPECT_EQ(Setup(avi, "", dir_.file("a.avi"), "map=0.7<CRLF>map=0.1"), "Could not find input stream #0.7");
    EXPECT_EQ(Setup(avi, "", dir_.file("b.avi"), "map=1.0<CRLF>map=0.1"), "Could not find input stream #1.0");
    EXPECT_EQ(Setup(avi, "", dir_.file("c.avi"), "map=0.0:0.9<CRLF>map=0.1"),
              "Could not find sync stream #0.9");
    EXPECT_EQ(Setup(avi, "", dir_.file("d.avi"), "map=0.0"),
              "Number of stream maps must match number of output streams");
    EXPECT_EQ(Setup(avi, "", dir_.file("e.avi"), "map=0.1<CRLF>map=0.0"),
              "Codec type mismatch for mapping #0.1 (audio) -> #0.0 (video)");
    EXPECT_EQ(Setup(avi, "", dir_.file("f.avi"), "map=0.0<CRLF>map=0.1:0.0"), "");
    EXPECT_EQ(Setup(InfoWav(), "", dir_.file("g.avi"), "vcodec=mpeg4"),
              "");  // no video input, no video stream
    EXPECT_EQ(Setup(avi, "", dir_.file("h.avi"), "vn=1<CRLF>an=1"),
              "Output file #0 does not contain any stream");
}

TEST_F(OpeningTest, StreamCopyThatCannotWork) {
    const std::string avi = Avi25();
    EXPECT_EQ(Setup(avi, "", dir_.file("a.avi"), "acodec=copy<CRLF>vol=512"),
              "-acodec copy and -vol are incompatible (frames are not decoded)");
    EXPECT_EQ(Setup(avi, "", dir_.file("b.avi"), "vcodec=copy<CRLF>Hook"),
              "-vcodec copy and CustomHook are incompatible (frames are not decoded)");
    tasks_.SetPreview(true);
    EXPECT_EQ(Setup(avi, "", dir_.file("c.avi"), "vcodec=copy"),
              "-vcodec copy and PostHooks are incompatible (frames are not decoded)");
    tasks_.SetPreview(false);
    EXPECT_EQ(Setup(avi, "", dir_.file("d.avi"), "vcodec=copy<CRLF>acodec=copy<CRLF>vol=256"), "");
}

TEST_F(OpeningTest, OldNamesAndMuxerRules) {
    // libfaac is gone: AAC does the job.
    EXPECT_EQ(Setup(Avi25(), "", dir_.file("a.mp4"), "acodec=libfaac<CRLF>vcodec=mpeg4<CRLF>vtag=DIVX"), "");
    TFFmpeg& task = *tasks_.Task(0);
    AVFormatContext* oc = task.OutputContext(0);
    EXPECT_EQ(oc->streams[1]->codecpar->codec_id, AV_CODEC_ID_AAC);
    EXPECT_NE(oc->streams[0]->codecpar->codec_tag, MKTAG('D', 'I', 'V', 'X'));  // MP4 takes only its own tag
    task.CleanupRun();
    // AVI takes DIVX.
    EXPECT_EQ(Setup(Avi25(), "", dir_.file("b.avi"), "vcodec=mpeg4<CRLF>vtag=DIVX"), "");
    EXPECT_EQ(tasks_.Task(0)->OutputContext(0)->streams[0]->codecpar->codec_tag, MKTAG('D', 'I', 'V', 'X'));
    tasks_.Task(0)->CleanupRun();
    // 3GP: its default audio encoder is missing here (AAC instead); H.263 codes only its sizes.
    EXPECT_EQ(Setup(Avi25(), "", dir_.file("c.3gp"), "ar=8000<CRLF>ac=1"), "");
    AVFormatContext* gp = tasks_.Task(0)->OutputContext(0);
    EXPECT_EQ(gp->streams[0]->codecpar->codec_id, AV_CODEC_ID_H263);
    EXPECT_EQ(gp->streams[0]->codecpar->width, 352);
    EXPECT_EQ(gp->streams[0]->codecpar->height, 288);
    EXPECT_EQ(gp->streams[1]->codecpar->codec_id, AV_CODEC_ID_AAC);
    EXPECT_EQ(gp->streams[1]->codecpar->sample_rate, 8000);
    tasks_.Task(0)->CleanupRun();
    // MPEG-1 has a fixed list of frame rates: 29.97 written with two decimals takes the nearest.
    EXPECT_EQ(Setup(Avi25(), "", dir_.file("d.mpg"), "vcodec=mpeg1video<CRLF>r=29.97"), "");
    const AVStream* st = tasks_.Task(0)->OutputContext(0)->streams[0];
    EXPECT_EQ(st->avg_frame_rate.num, 30000);
    EXPECT_EQ(st->avg_frame_rate.den, 1001);
    tasks_.Task(0)->CleanupRun();
}

TEST_F(OpeningTest, EncoderSettingsReachTheStreams) {
    ASSERT_EQ(
        Setup(Avi25(), "", dir_.file("a.mkv"),
              "vcodec=mpeg4<CRLF>s=176x144<CRLF>aspect=16:9<CRLF>b=400000<CRLF>acodec=mp2<CRLF>ar=32000<CRLF>"
              "ac=1<CRLF>ab=64000<CRLF>alang=fre<CRLF>metadata=title=Grüße ☃"),
        "");
    AVFormatContext* oc = tasks_.Task(0)->OutputContext(0);
    const AVCodecParameters* v = oc->streams[0]->codecpar;
    EXPECT_EQ(v->width, 176);
    EXPECT_EQ(v->height, 144);
    EXPECT_EQ(v->bit_rate, 400000);
    EXPECT_NEAR(av_q2d(v->sample_aspect_ratio) * 176 / 144, 16.0 / 9.0, 0.01);
    const AVCodecParameters* a = oc->streams[1]->codecpar;
    EXPECT_EQ(a->codec_id, AV_CODEC_ID_MP2);
    EXPECT_EQ(a->sample_rate, 32000);
    EXPECT_EQ(a->ch_layout.nb_channels, 1);
    EXPECT_EQ(a->bit_rate, 64000);
    EXPECT_STREQ(ff::av_dict_get(oc->streams[1]->metadata, "language", nullptr, 0)->value, "fre");
    EXPECT_STREQ(ff::av_dict_get(oc->metadata, "title", nullptr, 0)->value, "Grüße ☃");
    tasks_.Task(0)->CleanupRun();

    // Crop and pad keep the output size; an encoder that refuses its parameters says so.
    EXPECT_EQ(Setup(Avi25(), "", dir_.file("b.avi"),
                    "vcodec=mpeg4<CRLF>croptop=20<CRLF>cropbottom=20<CRLF>padleft=16<CRLF>padright=16"),
              "");
    EXPECT_EQ(tasks_.Task(0)->OutputContext(0)->streams[0]->codecpar->height, 200);
    tasks_.Task(0)->CleanupRun();
    EXPECT_EQ(
        Setup(Avi25(), "", dir_.file("c.mkv"), "vcodec=libx264<CRLF>pix_fmt=yuv444p<CRLF>profile=baseline"),
        "Error while opening encoder for output stream #0.0 (video) - maybe incorrect parameters such as "
        "bit_rate, rate, width or height. Please check error log message to find out more detail "
        "information.");
    EXPECT_EQ(Setup(Avi25(), "", dir_.file("d.mkv"), "vfilters=nosuchfilter"),
              "Error opening filters: Invalid data found when processing input");
}

TEST_F(OpeningTest, BadOptionTexts) {
    const std::string avi = Avi25();
    // Empty lines and stray "=" are options without a name: nothing happens.
    EXPECT_EQ(Open(avi, "\n\n=\n==\n=5\n", dir_.file("a.avi"), "<CRLF><CRLF>=<CRLF>an=1<CRLF><CRLF>"), "");
    EXPECT_TRUE(tasks_.Task(0)->Foutput_files[0].file->streams.size() == 1);  // an=1 was applied
    // Very long values.
    const std::string longTitle(100000, 'x');
    EXPECT_EQ(Open(avi, "", dir_.file("b.mkv"), "metadata=title=" + longTitle), "");
    EXPECT_EQ(Open(avi, "", dir_.file("c.mkv"), "vcodec=" + std::string(10000, 'v')),
              "Unknown encoder '" + std::string(10000, 'v') + "'");
    EXPECT_EQ(Open(avi, "", dir_.file("d.mkv"), "r=" + std::string(5000, '9')), "Incorrect frame rate");
    // Non-ASCII names match nothing; non-ASCII values are kept as they are.
    EXPECT_EQ(Open(avi, "ÄR=1", dir_.file("e.mkv"), "Vcodec=mpeg4<CRLF>métadata=x=y<CRLF>alang=日本"), "");
    EXPECT_STREQ(tasks_.Task(0)->Foutput_files[0].file->streams[0].encoder->name, "mpeg4");
    // A file name with spaces and non-ASCII letters.
    const std::string odd = dir_.file("ü ñ 名前.mkv");
    EXPECT_EQ(Open(avi, "", odd, ""), "");
    EXPECT_TRUE(fixtures::FileExists(odd));
}

TEST_F(OpeningTest, FailuresLeaveNothingOpen) {
    const std::string avi = Avi25();
    // Warm the libraries up (they open files of their own once).
    EXPECT_EQ(Open(avi, "", dir_.file("warm.avi"), ""), "");
    tasks_.ClearTasks();
    const int before = OpenDescriptors();
    for (int i = 0; i < 5; ++i) {
        EXPECT_NE(Open(avi, "", dir_.file("no/dir/x.avi"), ""), "");
        EXPECT_NE(Open(avi, "vcodec=nosuch", dir_.file("x.avi"), ""), "");
        EXPECT_NE(Open(avi, "", dir_.file("x.avi"), "vcodec=nosuch"), "");
        EXPECT_NE(Open(avi, "", dir_.file("x.avi"), "threads=4"), "");
        EXPECT_NE(Setup(avi, "", dir_.file("x.avi"), "map=0.9<CRLF>map=0.1"), "");
        tasks_.ClearTasks();
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
