// The run-time library loader: sets, failures, folders and the entry-point table.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "engine/EngineFixtures.h"
#include "common/MediaFixtures.h"
#include "engine/probe/AVProbe.h"
#include "engine/library/FFmpegApi.h"
#include "engine/library/FFmpegLoader.h"

namespace {

constexpr TLibrary kAll[] = {TLibrary::avCodec,    TLibrary::avDevice, TLibrary::avFilter,
                             TLibrary::avFormat,   TLibrary::avUtil,   TLibrary::swScale,
                             TLibrary::swResample, TLibrary::myUtil,   TLibrary::lbSDL};
constexpr TLibrary kProbeMembers[] = {TLibrary::avCodec, TLibrary::avFormat, TLibrary::avUtil,
                                      TLibrary::swScale, TLibrary::myUtil};

// Where the system keeps a library file.
std::string SystemLibrary(const std::string& file) {
    for (const char* dir :
         {"/usr/lib/x86_64-linux-gnu", "/lib/x86_64-linux-gnu", "/usr/lib64", "/usr/lib", "/lib"}) {
        const std::string path = std::string(dir) + "/" + file;
        if (fixtures::FileExists(path)) return path;
    }
    return "";
}

// A "lib" folder of symbolic links to the system's copies of every library.
void FillLibFolder(const std::string& folder) {
    for (TLibrary lib : kAll) {
        const std::string file = TFFmpegLoader::LibraryFileName(lib);
        const std::string target = SystemLibrary(file);
        ASSERT_FALSE(target.empty()) << file;
        ASSERT_EQ(::symlink(target.c_str(), (folder + "/" + file).c_str()), 0) << file;
    }
}

// Files with the libraries' names that are no libraries at all.
void FillBogusFolder(const std::string& folder) {
    for (TLibrary lib : kAll)
        fixtures::WriteFile(folder + "/" + TFFmpegLoader::LibraryFileName(lib), "not a library");
}

std::string ObjectFileOf(const void* address) {
    Dl_info info{};
    return dladdr(address, &info) && info.dli_fname ? info.dli_fname : "";
}

class FFmpegLoaderTest : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        TFFmpegLoader& loader = FFLoader();
        for (TLibrary lib : kAll) {
            loader.Unload(lib);
            loader.SetLibraryName(lib, "");
        }
        loader.SetLibraryPath("");
    }
    fixtures::TempDir libDir_{"vanto-lib"};
    fixtures::TempDir bogusDir_{"vanto-bogus"};
};

TEST_F(FFmpegLoaderTest, ProbeSetLoadsThroughTheSystemSearchOrderAndUnloads) {
    TFFmpegLoader& loader = FFLoader();
    loader.SetLibraryPath("/nonexistent/vanto/lib");  // no such folder: the system's copies are used
    ASSERT_TRUE(loader.Load(kProbeLibraries)) << loader.LastErrMsg();
    EXPECT_TRUE(loader.Loaded(kProbeLibraries));
    EXPECT_EQ(loader.Status(TLibrary::avCodec).Path, "libavcodec.so.59");
    EXPECT_EQ(loader.Status(TLibrary::myUtil).Path, "libc.so.6");
    ASSERT_NE(ff::avformat_open_input, nullptr);
    ASSERT_NE(ff::avcodec_string, nullptr);
    ASSERT_NE(ff::av_stream_get_codec_timebase, nullptr);  // optional, but present in this release
    ASSERT_NE(ff::snprintf, nullptr);
    EXPECT_EQ(ff::avutil_version() >> 16, 57u);
    EXPECT_EQ(ff::avcodec_version() >> 16, 59u);
    char buf[32];
    ff::snprintf(buf, sizeof buf, "%d-%s", 7, "x");
    EXPECT_STREQ(buf, "7-x");

    loader.Unload(kProbeLibraries);
    for (TLibrary lib : kProbeMembers)
        EXPECT_FALSE(loader.Loaded(lib));
    EXPECT_EQ(ff::avformat_open_input, nullptr);
    EXPECT_EQ(ff::av_log, nullptr);
    EXPECT_TRUE(loader.Load(kProbeLibraries)) << "a set loads again after unloading";
}

TEST_F(FFmpegLoaderTest, OtherSetsLoadSdlAndResampler) {
    TFFmpegLoader& loader = FFLoader();
    ASSERT_TRUE(loader.Load(kPlayerLibraries)) << loader.LastErrMsg();
    EXPECT_TRUE(loader.Loaded(kTaskLibraries));
    EXPECT_NE(ff::swr_alloc_set_opts2, nullptr);
    EXPECT_NE(ff::avfilter_graph_alloc, nullptr);
    EXPECT_NE(ff::SDL_OpenAudioDevice, nullptr);
    EXPECT_FALSE(loader.Loaded(TLibrary::avDevice)) << "no component loads avdevice";
}

TEST_F(FFmpegLoaderTest, EmptySetIsAProgrammingError) {
    TFFmpegLoader& loader = FFLoader();
    EXPECT_THROW(loader.Load(TLibraries{}), EEngineAssertion);
    EXPECT_THROW(loader.Loaded(TLibraries{}), EEngineAssertion);
    EXPECT_THROW(loader.Unload(TLibraries{}), EEngineAssertion);
    try {
        loader.Load(TLibraries{});
    } catch (const EEngineAssertion& e) {
        EXPECT_EQ(e.Source(), "FFmpegLoader");
    }
}

TEST_F(FFmpegLoaderTest, SetFailingOnOneLibraryLeavesNoneOfItsLibrariesLoaded) {
    FillBogusFolder(bogusDir_.path());
    TFFmpegLoader& loader = FFLoader();
    const std::string bogus = bogusDir_.file("libavformat.so.59");
    loader.SetLibraryName(TLibrary::avFormat, bogus);

    EXPECT_FALSE(loader.Load(kProbeLibraries));
    EXPECT_EQ(loader.LastErrMsg().rfind("Load library " + bogus + " error: ", 0), 0u) << loader.LastErrMsg();
    EXPECT_GT(loader.LastErrMsg().size(), ("Load library " + bogus + " error: ").size())
        << "system message missing";
    // avutil, swscale and avcodec were opened before avformat failed: all released again.
    for (TLibrary lib : kProbeMembers)
        EXPECT_FALSE(loader.Loaded(lib)) << static_cast<int>(lib);
    EXPECT_EQ(ff::av_log, nullptr);
    EXPECT_EQ(ff::avcodec_open2, nullptr);
    EXPECT_EQ(ff::sws_scale, nullptr);

    loader.SetLibraryName(TLibrary::avFormat, "");
    EXPECT_TRUE(loader.Load(kProbeLibraries)) << loader.LastErrMsg();
}

TEST_F(FFmpegLoaderTest, MissingFilterLibraryFailsPlayerAndTaskButNotProbe) {
    FillBogusFolder(bogusDir_.path());
    TFFmpegLoader& loader = FFLoader();
    loader.SetLibraryName(TLibrary::avFilter, bogusDir_.file("libavfilter.so.8"));
    EXPECT_FALSE(loader.Load(kPlayerLibraries));
    EXPECT_FALSE(loader.Load(kTaskLibraries));
    EXPECT_FALSE(loader.Loaded(TLibrary::swResample));
    EXPECT_TRUE(loader.Load(kProbeLibraries)) << loader.LastErrMsg();
}

TEST_F(FFmpegLoaderTest, MissingRequiredEntryPointFailsTheLibrary) {
    FillLibFolder(libDir_.path());
    TFFmpegLoader& loader = FFLoader();
    // libavutil under avcodec's row: the avcodec names are not there.
    const std::string wrong = libDir_.file("libavutil.so.57");
    loader.SetLibraryName(TLibrary::avCodec, wrong);
    EXPECT_FALSE(loader.Load(TLibrary::avCodec));
    EXPECT_EQ(loader.LastErrMsg().rfind("Load function avcodec_version@" + wrong + " error: ", 0), 0u)
        << loader.LastErrMsg();
    EXPECT_FALSE(loader.Loaded(TLibrary::avCodec));
    EXPECT_EQ(loader.Status(TLibrary::avCodec).Handle, nullptr);
    EXPECT_EQ(ff::avcodec_version, nullptr);
}

TEST_F(FFmpegLoaderTest, NameWithFolderWinsOverLibraryPath) {
    FillLibFolder(libDir_.path());
    FillBogusFolder(bogusDir_.path());
    TFFmpegLoader& loader = FFLoader();

    loader.SetLibraryPath(bogusDir_.path());
    loader.SetLibraryName(TLibrary::avUtil, libDir_.file("libavutil.so.57"));
    ASSERT_TRUE(loader.Load(TLibrary::avUtil)) << loader.LastErrMsg();
    EXPECT_EQ(loader.Status(TLibrary::avUtil).Path, libDir_.file("libavutil.so.57"));
    loader.Unload(TLibrary::avUtil);

    loader.SetLibraryPath(libDir_.path());
    loader.SetLibraryName(TLibrary::avUtil, bogusDir_.file("libavutil.so.57"));
    EXPECT_FALSE(loader.Load(TLibrary::avUtil));
    EXPECT_EQ(loader.LastErrMsg().rfind("Load library " + bogusDir_.file("libavutil.so.57") + " error: ", 0),
              0u)
        << loader.LastErrMsg();

    // A bare name goes to LibraryPath; a broken copy there is not silently replaced.
    loader.SetLibraryName(TLibrary::avUtil, "");
    loader.SetLibraryPath(bogusDir_.path());
    EXPECT_FALSE(loader.Load(TLibrary::avUtil));
}

// In a fresh process (no media library mapped yet): a "lib" folder's copies are the ones opened,
// and the entry points point into them.
TEST_F(FFmpegLoaderTest, LibFolderCopiesAreTheOnesOpened) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    FillLibFolder(libDir_.path());
    const std::string folder = libDir_.path();
    EXPECT_EXIT(
        {
            TFFmpegLoader& loader = FFLoader();
            loader.SetLibraryPath(folder);
            int failures = 0;
            if (!loader.Load(kProbeLibraries)) {
                std::fprintf(stderr, "load failed: %s\n", loader.LastErrMsg().c_str());
                std::_Exit(1);
            }
            for (TLibrary lib : kProbeMembers) {
                const std::string want = folder + "/" + TFFmpegLoader::LibraryFileName(lib);
                if (loader.Status(lib).Path != want) {
                    std::fprintf(stderr, "opened %s, wanted %s\n", loader.Status(lib).Path.c_str(),
                                 want.c_str());
                    ++failures;
                }
            }
            const std::string avformat = ObjectFileOf(reinterpret_cast<void*>(ff::avformat_open_input));
            const std::string avutil = ObjectFileOf(reinterpret_cast<void*>(ff::av_log));
            if (avformat != folder + "/libavformat.so.59" || avutil != folder + "/libavutil.so.57") {
                std::fprintf(stderr, "entry points in %s and %s\n", avformat.c_str(), avutil.c_str());
                ++failures;
            }
            std::_Exit(failures == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(FFmpegLoaderTest, ProbeRefusesToOpenFilesWithoutItsLibraries) {
    TAVProbe probe;
    try {
        probe.LoadFile("/nonexistent.mp4");
        FAIL() << "no exception";
    } catch (const ELibraryNotLoaded& e) {
        EXPECT_STREQ(e.what(), "LibAVCodec not loaded.");
    }
    ASSERT_TRUE(FFLoader().Load(TLibrary::avCodec)) << FFLoader().LastErrMsg();
    try {
        probe.LoadFile("/nonexistent.mp4");
        FAIL() << "no exception";
    } catch (const ELibraryNotLoaded& e) {
        EXPECT_STREQ(e.what(), "LibAVFormat not loaded.");
    }
    EXPECT_FALSE(probe.AVLibLoaded());
    EXPECT_TRUE(probe.LoadAVLib("/nonexistent/vanto/lib")) << probe.LastErrMsg();
    EXPECT_TRUE(probe.AVLibLoaded());
}

}  // namespace
