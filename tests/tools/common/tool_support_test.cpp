// Argument parsing, output files that appear only when complete, and the frame-count rule of a
// whole conversion checked against the resampler's per-call counting.
#include "tools/common/tool_support.h"
#include "tools/common/wav_io.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

using namespace sonvex::tools;

namespace {
bool FileExists(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}
std::string Contents(const std::string& path) {
    std::string s;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return s;
    int c;
    while ((c = std::fgetc(f)) != EOF) s += static_cast<char>(c);
    std::fclose(f);
    return s;
}
}  // namespace

TEST(ToolArguments, OptionsInEitherFormAnywhere) {
    ParsedArguments p = ParseArguments({"--rate", "48000", "in.wav", "--taps=33", "out.wav"}, {"rate", "taps", "channels"});
    ASSERT_EQ(p.positional.size(), 2u);
    EXPECT_EQ(p.positional[0], "in.wav");
    EXPECT_EQ(p.positional[1], "out.wav");
    EXPECT_EQ(p.options["rate"], "48000");
    EXPECT_EQ(p.options["taps"], "33");
    EXPECT_FALSE(p.options.count("channels"));
    EXPECT_FALSE(p.help);
    // After "--" a name that starts with a dash is a file.
    p = ParseArguments({"--", "-odd.wav"}, {});
    ASSERT_EQ(p.positional.size(), 1u);
    EXPECT_EQ(p.positional[0], "-odd.wav");
    EXPECT_TRUE(ParseArguments({"x", "--help"}, {}).help);
}

TEST(ToolArguments, MistakesAreUsageErrors) {
    EXPECT_THROW(ParseArguments({"--speed", "2"}, {"rate"}), UsageError);
    EXPECT_THROW(ParseArguments({"-r", "2"}, {"rate"}), UsageError);
    EXPECT_THROW(ParseArguments({"in.wav", "--rate"}, {"rate"}), UsageError);
    EXPECT_THROW(ParseArguments({"--rate", "1", "--rate=2"}, {"rate"}), UsageError);
}

TEST(ToolArguments, TablesGiveAliasesSwitchesOptionalNumbersAndRepeats) {
    std::vector<OptionRule> table(4);
    table[0].name = "input";
    table[0].alias = 'i';
    table[1].name = "quiet";
    table[1].value = OptionRule::Value::None;
    table[2].name = "editor";
    table[2].value = OptionRule::Value::OptionalNumber;
    table[3].name = "param";
    table[3].repeatable = true;
    ParsedArguments p = ParseArgumentTable({"-i", "a.wav", "--quiet", "--param", "1=0.5", "--editor", "2.5", "x.dll",
                                            "--param=0=1"},
                                           table);
    EXPECT_EQ(p.options["input"], "a.wav");
    EXPECT_TRUE(p.options.count("quiet"));
    EXPECT_EQ(p.options["editor"], "2.5");
    EXPECT_EQ(p.repeated["param"], (std::vector<std::string>{"1=0.5", "0=1"}));
    EXPECT_EQ(p.options["param"], "0=1");
    EXPECT_EQ(p.positional, std::vector<std::string>{"x.dll"});
    // The optional number leaves a following path alone.
    p = ParseArgumentTable({"--editor", "x.dll"}, table);
    EXPECT_EQ(p.options["editor"], "");
    EXPECT_EQ(p.positional, std::vector<std::string>{"x.dll"});
    EXPECT_THROW(ParseArgumentTable({"-i", "a", "-i", "b"}, table), UsageError);
    EXPECT_THROW(ParseArgumentTable({"--quiet=1"}, table), UsageError);
    EXPECT_THROW(ParseArgumentTable({"-q"}, table), UsageError);
    EXPECT_EQ(Format("%s: %ld is outside %d..%d", "--block", 0L, 1, 65536), "--block: 0 is outside 1..65536");
}

TEST(ToolArguments, IntegersAreWholeAndInRange) {
    EXPECT_EQ(ParseInteger("48000", 1, 524287, "rate"), 48000);
    EXPECT_EQ(ParseInteger("-5", -10, 10, "x"), -5);
    EXPECT_EQ(ParseInteger("+7", 0, 10, "x"), 7);
    for (const char* bad : {"", "-", "12k", "1.5", " 5", "0x10", "99999999999999999999999"})
        EXPECT_THROW(ParseInteger(bad, 0, 1000000, "rate"), UsageError) << bad;
    try {
        ParseInteger("600000", 1, 524287, "rate");
        FAIL();
    } catch (const UsageError& e) {
        EXPECT_STREQ(e.what(), "rate 600000 is out of range (1..524287)");
    }
}

TEST(ToolOutputFiles, AppearOnlyWhenCommittedAndReplaceTheOldFile) {
    const std::string path = ::testing::TempDir() + "sonvex_tool_output.txt";
    std::remove(path.c_str());
    std::string temp;
    {
        TemporaryOutput out(path);
        temp = out.Path();
        EXPECT_NE(temp, path);
        WriteTextFileAtomically(path, "old");  // another file of the same name meanwhile
        std::FILE* f = sonvex::wav::OpenFileUtf8(temp, "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("half-written", f);
        std::fclose(f);
    }  // not committed
    EXPECT_FALSE(FileExists(temp));
    EXPECT_EQ(Contents(path), "old");
    {
        TemporaryOutput out(path);
        std::FILE* f = sonvex::wav::OpenFileUtf8(out.Path(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("new", f);
        std::fclose(f);
        out.Commit();
        EXPECT_FALSE(FileExists(out.Path()));
    }
    EXPECT_EQ(Contents(path), "new");
    std::remove(path.c_str());
    // A missing directory fails without leaving anything behind.
    EXPECT_THROW(WriteTextFileAtomically(::testing::TempDir() + "no/such/dir/x.svg", "x"), std::runtime_error);
}

// The resampler's own rule, call by call: with C frames retired so far and A more retired now,
// N = ceil((C+A)*4096/s) - ceil(C*4096/s) frames come out, and a call that yields nothing
// retires nothing. The stream starts with M silent frames; the last `taps` frames stay queued.
static int64_t SimulateConversion(int64_t inputFrames, int32_t origRate, int32_t newRate, int32_t taps,
                                  std::mt19937& random) {
    const int64_t s = ComputeStep(origRate, newRate);
    int64_t queued = (taps + 1) / 2, consumed = 0, produced = 0;
    int64_t left = inputFrames + DrainFrames(origRate, newRate, taps);
    while (left > 0) {
        int64_t block = std::min<int64_t>(left, 1 + random() % 5000);
        queued += block;
        left -= block;
        int64_t a = queued - taps;
        int64_t n = ((consumed + a) * 4096 + s - 1) / s - (consumed * 4096 + s - 1) / s;
        if (n <= 0) continue;
        produced += n;
        consumed += a;
        queued = taps;
    }
    return produced;
}

TEST(ToolFrameCount, ClosedFormMatchesTheCallByCallRule) {
    std::mt19937 random(4);
    const struct { int32_t from, to, taps; } conversions[] = {
        {44100, 48000, 65}, {48000, 44100, 65}, {96000, 48000, 33}, {44100, 44100, 65},
        {8000, 44100, 1}, {44100, 8000, 255}, {48000, 48000, 1}, {22050, 192000, 129}};
    for (const auto& c : conversions) {
        for (int64_t frames : {0, 1, 2, 64, 65, 1000, 44100, 123457}) {
            EXPECT_EQ(ConvertedFrameCount(frames, c.from, c.to, c.taps), SimulateConversion(frames, c.from, c.to, c.taps, random))
                << c.from << "->" << c.to << " taps " << c.taps << " frames " << frames;
        }
    }
}

TEST(ToolFrameCount, LengthsFollowTheRealisedRate) {
    // Equal rates give the input length back exactly.
    EXPECT_EQ(ConvertedFrameCount(12345, 48000, 48000, 65), 12345);
    // 44100 -> 48000: step 3763, one output per 3763/4096 input frame, for input times -1 .. F0-1.
    EXPECT_EQ(ComputeStep(44100, 48000), 3763);
    EXPECT_EQ(ConvertedFrameCount(44100, 44100, 48000, 65), (44101LL * 4096 + 3762) / 3763);
    EXPECT_EQ(ConvertedFrameCount(44100, 44100, 48000, 65), 48004);
    EXPECT_EQ(ComputeStep(96000, 48000), 8192);
    EXPECT_EQ(ConvertedFrameCount(1000, 96000, 48000, 33), 501);
    // Parameters the resampler refuses.
    EXPECT_EQ(ConvertedFrameCount(10, 44100, 48000, 64), -1);
    EXPECT_EQ(ConvertedFrameCount(10, 1, 5000, 65), -1);  // step 0
    EXPECT_EQ(ConvertedFrameCount(10, 600000, 48000, 65), -1);
}

TEST(ToolOutputFiles, ProgressBarsStayOffFilesAndBytesAreReadWithinTheirLimit) {
    const std::string path = ::testing::TempDir() + "sonvex_progress_log.txt";
    std::FILE* log = std::fopen(path.c_str(), "wb");
    ASSERT_NE(log, nullptr);
    EXPECT_FALSE(StreamIsConsole(log));
    {
        ProgressBar bar(log, 1000, true);
        EXPECT_FALSE(bar.Enabled());
        for (uint64_t done = 0; done <= 1000; done += 10) bar.Update(done);
        bar.Finish();
    }
    std::fputs("summary\n", log);
    std::fclose(log);
    EXPECT_EQ(Contents(path), "summary\n");  // the log holds the summary line only

    EXPECT_EQ(ReadFileBytes(path, 8).size(), 8u);
    EXPECT_THROW(ReadFileBytes(path, 7), std::runtime_error);
    EXPECT_THROW(ReadFileBytes(path + ".missing", 100), std::runtime_error);
    std::remove(path.c_str());
}
