// brisane-host run as a program against the GainProbe test plug-in: identity, bit-exact
// processing through known gains, chunk files, and one-line errors.
#include "host_runner.h"

using namespace hosttest;

namespace {

const std::string kProbe = windowsPath(GAIN_PROBE_DLL);

TEST_F(HostTest, PrintsThePluginsIdentityProgramsAndParameters) {
    HostRun r = runHost(quoted(kProbe) + " --program 1 --param 1=1");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    for (const char* expected :
         {"Magic:           'VstP'", "Unique ID:       'TgPl' (0x5467506C)", "Version:         7",
          "Inputs/outputs:  2 / 2", "Flags:           0x00000030 (CanReplacing ProgramChunks)", "Effect name:     Test Gain",
          "Vendor:          Engine Tests", "Product:         Gain Probe", "Vendor version:  7", "VST version:     2400",
          "Program list (current 1):", "     0  Unity", "  *  1  Half", "     2  Inverted Quarter",
          "    0  Gain       = 0.125      0.5000 x", "    1  Polarity   = 1          Invert"})
        EXPECT_TRUE(contains(r.output, expected)) << "missing \"" << expected << "\" in:\n" << r.output;
}

TEST_F(HostTest, ProcessesFilesBitExactlyInAnyBlockSizeAndInputFormat) {
    vsthost::WavAudio in = stereoSignal(1000);
    std::string input = file("in.wav"), output = file("out.wav");
    writeWav(input, vsthost::buildFloatWav(in));

    HostRun r = runHost(quoted(kProbe) + " -i " + quoted(input) + " -o " + quoted(output) + " --program 1 --block 64");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    EXPECT_TRUE(contains(r.output, "processed 1000 frames of 2 channel(s) at 44100 Hz in blocks of 64")) << r.output;
    EXPECT_TRUE(contains(r.output, "processing [########################################] 100%")) << r.output;
    expectScaled(in, readWav(output), 0.5f);

    r = runHost(quoted(kProbe) + " -i " + quoted(input) + " -o " + quoted(output) + " --param 0=0.0625 --param 1=1 --quiet");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    EXPECT_FALSE(contains(r.output, "processing [")) << r.output;
    expectScaled(in, readWav(output), -0.25f);

    // 16-bit PCM in, one block larger than the file: read as n/32768, scaled exactly.
    vsthost::WavAudio pcm = stereoSignal(300);
    std::string pcmInput = file("pcm16.wav");
    writeWav(pcmInput, vsthost::buildPcm16Wav(pcm));
    r = runHost(quoted(kProbe) + " -i " + quoted(pcmInput) + " -o " + quoted(output) + " --program 2 --block 4096");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    expectScaled(readWav(pcmInput), readWav(output), -0.25f);
}

TEST_F(HostTest, MonoFilesUseTheFirstInputAndGiveMonoFiles) {
    vsthost::WavAudio mono;
    mono.channels = 1;
    mono.sampleRate = 22050;
    for (int i = 0; i < 777; ++i) mono.samples.push_back((float)(i % 100) / 128.0f - 0.3f);
    std::string input = file("mono.wav"), output = file("mono-out.wav");
    writeWav(input, vsthost::buildFloatWav(mono));
    HostRun r = runHost(quoted(kProbe) + " -i " + quoted(input) + " -o " + quoted(output) + " --param 0=0.5 --block 100");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    expectScaled(mono, readWav(output), 2.0f);
}

TEST_F(HostTest, PresetAndBankChunksGoToFilesAndComeBack) {
    std::string preset = file("p.bin"), bank = file("b.bin");
    HostRun r = runHost(quoted(kProbe) + " --program 2 --param 0=0.5 --save-preset " + quoted(preset) + " --save-bank " + quoted(bank));
    ASSERT_EQ(0u, r.exitCode) << r.output;
    EXPECT_TRUE(contains(r.output, "saved preset chunk of 32 bytes")) << r.output;
    EXPECT_TRUE(contains(r.output, "saved bank chunk of 96 bytes")) << r.output;

    std::vector<uint8_t> p = readBytes(preset);
    ASSERT_EQ(32u, p.size());
    EXPECT_EQ(0, std::memcmp(p.data(), "Inverted Quarter\0\0\0\0\0\0\0\0", 24));
    const uint8_t values[8] = {0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x80, 0x3F};  // 0.5, 1.0
    EXPECT_EQ(0, std::memcmp(p.data() + 24, values, 8));
    std::vector<uint8_t> b = readBytes(bank);
    ASSERT_EQ(96u, b.size());
    EXPECT_EQ(0, std::memcmp(b.data(), "Unity", 6));
    EXPECT_EQ(0, std::memcmp(b.data() + 64, p.data(), 32));

    // The saved preset loaded over program 0 in a fresh run: gain 2, inverted.
    vsthost::WavAudio in = stereoSignal(500);
    std::string input = file("in.wav"), output = file("out.wav");
    writeWav(input, vsthost::buildFloatWav(in));
    r = runHost(quoted(kProbe) + " --load-preset " + quoted(preset) + " -i " + quoted(input) + " -o " + quoted(output) + " --info");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    EXPECT_TRUE(contains(r.output, "loaded preset chunk of 32 bytes")) << r.output;
    EXPECT_TRUE(contains(r.output, "  *  0  Inverted Quarter")) << r.output;
    expectScaled(in, readWav(output), -2.0f);

    // A bank with program 0 changed, then program 2 chosen from it.
    std::vector<uint8_t> edited = b;
    const uint8_t quarter[4] = {0x00, 0x00, 0x80, 0x3C};  // 1/64: gain 1/16
    std::memcpy(edited.data() + 64 + 24, quarter, 4);
    std::string editedBank = file("edited.bin");
    writeWav(editedBank, edited);
    r = runHost(quoted(kProbe) + " --load-bank " + quoted(editedBank) + " --program 2 -i " + quoted(input) + " -o " + quoted(output));
    ASSERT_EQ(0u, r.exitCode) << r.output;
    expectScaled(in, readWav(output), -1.0f / 16);
}

TEST_F(HostTest, ErrorsAreOneLineWithANonZeroExit) {
    std::string input = file("in.wav"), junk = file("junk.bin");
    writeWav(input, vsthost::buildFloatWav(stereoSignal(10)));
    writeWav(junk, std::vector<uint8_t>(31, 7));
    struct Case {
        std::string arguments, message;
        DWORD code;
    } cases[] = {
        {quoted(file("missing.dll")), "brisane-host: cannot load", 1},
        {quoted(kHost), "exports neither VSTPluginMain nor main", 1},
        {quoted(kProbe) + " --program 3", "brisane-host: --program 3: the plug-in has programs 0..2", 1},
        {quoted(kProbe) + " --param 2=0.5", "brisane-host: --param 2: the plug-in has parameters 0..1", 1},
        {quoted(kProbe) + " --param 0=1.5", "brisane-host: --param: value 1.5 is outside 0..1", 2},
        {quoted(kProbe) + " --load-preset " + quoted(junk), "brisane-host: the plug-in refused the preset chunk of 31 bytes", 1},
        {quoted(kProbe) + " -i " + quoted(junk), "not a RIFF/WAVE file", 1},
        {quoted(kProbe) + " -i " + quoted(file("none.wav")), "brisane-host: cannot open", 1},
        {quoted(kProbe) + " --block 0", "brisane-host: --block: 0 is outside 1..65536", 2},
        {quoted(kProbe) + " --frobnicate", "brisane-host: unknown option --frobnicate", 2},
        {"", "brisane-host: no plug-in given", 2},
    };
    for (const auto& c : cases) {
        HostRun r = runHost(c.arguments);
        EXPECT_EQ(c.code, r.exitCode) << c.arguments << "\n" << r.output;
        EXPECT_TRUE(contains(r.output, c.message)) << c.arguments << "\n" << r.output;
        size_t lines = 0;
        for (char ch : r.output) lines += ch == '\n';
        EXPECT_LE(lines, c.code == 2 ? 2u : 1u) << r.output;
    }
}

TEST_F(HostTest, MakesATestSignal) {
    std::string signal = file("signal.wav");
    HostRun r = runHost("--make-signal " + quoted(signal) + " --rate 32000 --seconds 0.5");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    vsthost::WavAudio a = readWav(signal);
    EXPECT_EQ(2, a.channels);
    EXPECT_EQ(32000, a.sampleRate);
    EXPECT_EQ(16000u, a.frames());
    float peak = 0;
    for (float v : a.samples) peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.3f);
    EXPECT_LT(peak, 0.5f);
}

}  // namespace
