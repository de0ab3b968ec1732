// Real-world sources converted with vanto-convert, checked against their sources with ffprobe.
#include <gtest/gtest.h>

#include <cctype>

#include "RealSourcesCorpus.h"
#include "common/MediaFixtures.h"

using corpus::Kind;

namespace corpus {
void PrintTo(const Kind& kind, std::ostream* os) {
    *os << kind.name;
}
}  // namespace corpus

namespace {
class RealSources : public testing::TestWithParam<Kind> {};
}  // namespace

TEST_P(RealSources, ConvertWithPicturesAndSoundInStep) {
    fixtures::TempDir home;
    const std::string folder = home.file("out");
    {
        const Kind& kind = GetParam();
        SCOPED_TRACE(kind.name);
        const std::string source = kind.source();
        ASSERT_FALSE(source.empty());
        const std::string name = source.substr(source.rfind('/') + 1);
        const std::string output = folder + "/" + name.substr(0, name.rfind('.')) + kind.extension;
        std::string out;
        // Bounded: a damaged time stamp once made the conversion run without end.
        const int rc =
            fixtures::Run("HOME=" + fixtures::ShellQuote(home.path()) + " timeout 120 " + VANTO_PROGRAM_DIR +
                              "/vanto-convert convert --overwrite --profile " + std::to_string(kind.profile) +
                              " --output-folder " + fixtures::ShellQuote(folder) + " " +
                              fixtures::ShellQuote(source) + " 2>/dev/null",
                          &out);
        ASSERT_EQ(rc, 0) << out;
        EXPECT_EQ(out, "converted\t" + output + "\n");

        corpus::ExpectLikeTheSource(kind, output);
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, RealSources, testing::ValuesIn(corpus::Kinds()),
                         [](const testing::TestParamInfo<Kind>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c; ++c)
                                 if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                             return name;
                         });
