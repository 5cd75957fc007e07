// brisane-host run as a program against the GainProbe test plug-ins: identity, bit-exact
// processing through known gains, preset and bank files in the standard layout and as raw
// chunks, damaged files refused before anything reaches the plug-in, and one-line errors.
#include "tests/tools/vsthost/host_runner.h"

using namespace hosttest;

namespace {

const std::string kProbe = windowsPath(GAIN_PROBE_DLL);
const std::string kParamsProbe = windowsPath(GAIN_PROBE_PARAMS_DLL);

// Big-endian pieces of the published preset layout, written here by hand.
void be32(std::vector<uint8_t>& b, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back((uint8_t)(v >> shift));
}
void beFloat(std::vector<uint8_t>& b, float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    be32(b, u);
}
void tag(std::vector<uint8_t>& b, const char* t) {
    for (int i = 0; i < 4; ++i) b.push_back((uint8_t)t[i]);
}
void name28(std::vector<uint8_t>& b, const char* name) {
    std::vector<uint8_t> field(28, 0);
    std::memcpy(field.data(), name, std::strlen(name));
    b.insert(b.end(), field.begin(), field.end());
}
std::vector<uint8_t> wrap(const std::vector<uint8_t>& body) {
    std::vector<uint8_t> b;
    tag(b, "CcnK");
    be32(b, (uint32_t)body.size());
    b.insert(b.end(), body.begin(), body.end());
    return b;
}
constexpr uint32_t kProbeId = 0x5467506C, kParamsProbeId = 0x54675070;  // 'TgPl', 'TgPp'

std::vector<uint8_t> parameterPreset(const char* name, float gain, float polarity, uint32_t id = kParamsProbeId) {
    std::vector<uint8_t> body;
    tag(body, "FxCk");
    be32(body, 1);
    be32(body, id);
    be32(body, 7);
    be32(body, 2);
    name28(body, name);
    beFloat(body, gain);
    beFloat(body, polarity);
    return wrap(body);
}

// GainProbe's own preset chunk: the name in 24 bytes, then the two values as they lie in memory.
std::vector<uint8_t> probeChunk(const char* name, float gain, float polarity) {
    std::vector<uint8_t> chunk(24, 0);
    std::memcpy(chunk.data(), name, std::strlen(name));
    const float values[2] = {gain, polarity};
    chunk.resize(32);
    std::memcpy(chunk.data() + 24, values, 8);
    return chunk;
}

std::vector<uint8_t> chunkPreset(const std::vector<uint8_t>& chunk) {
    std::vector<uint8_t> body;
    tag(body, "FPCh");
    be32(body, 1);
    be32(body, kProbeId);
    be32(body, 7);
    be32(body, 2);
    name28(body, "ignored");
    be32(body, (uint32_t)chunk.size());
    body.insert(body.end(), chunk.begin(), chunk.end());
    return wrap(body);
}

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
    Audio in = stereoSignal(1000);
    std::string input = file("in.wav"), output = file("out.wav");
    writeWav(input, in);

    HostRun r = runHost(quoted(kProbe) + " -i " + quoted(input) + " -o " + quoted(output) + " --program 1 --block 64");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    EXPECT_TRUE(contains(r.output, "processed 1000 frames of 2 channel(s) at 44100 Hz in blocks of 64")) << r.output;
    // The output goes to a pipe here: summary lines only, no progress bar states.
    EXPECT_FALSE(contains(r.output, "[#") || contains(r.output, "\r[") || contains(r.output, "%\n")) << r.output;
    expectScaled(in, readWav(output), 0.5f);

    r = runHost(quoted(kProbe) + " -i " + quoted(input) + " -o " + quoted(output) + " --param 0=0.0625 --param 1=1 --quiet");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    expectScaled(in, readWav(output), -0.25f);

    // 16-bit PCM in, one block larger than the file: read as n/32768, scaled exactly.
    std::string pcmInput = file("pcm16.wav");
    writeWav(pcmInput, stereoSignal(300), sonvex::wav::SampleEncoding::Pcm16);
    r = runHost(quoted(kProbe) + " -i " + quoted(pcmInput) + " -o " + quoted(output) + " --program 2 --block 4096");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    expectScaled(readWav(pcmInput), readWav(output), -0.25f);
}

TEST_F(HostTest, MonoFilesUseTheFirstInputAndGiveMonoFiles) {
    Audio mono;
    mono.channels = 1;
    mono.sampleRate = 22050;
    for (int i = 0; i < 777; ++i) mono.samples.push_back((float)(i % 100) / 128.0f - 0.3f);
    std::string input = file("mono.wav"), output = file("mono-out.wav");
    writeWav(input, mono);
    HostRun r = runHost(quoted(kProbe) + " -i " + quoted(input) + " -o " + quoted(output) + " --param 0=0.5 --block 100");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    expectScaled(mono, readWav(output), 2.0f);
}

TEST_F(HostTest, RawChunksGoToFilesAndComeBack) {
    std::string preset = file("p.bin"), bank = file("b.bin");
    HostRun r = runHost(quoted(kProbe) + " --program 2 --param 0=0.5 --save-raw-preset " + quoted(preset) +
                        " --save-raw-bank " + quoted(bank));
    ASSERT_EQ(0u, r.exitCode) << r.output;
    EXPECT_TRUE(contains(r.output, "saved preset chunk of 32 bytes")) << r.output;
    EXPECT_TRUE(contains(r.output, "saved bank chunk of 96 bytes")) << r.output;
    std::vector<uint8_t> p = readBytes(preset), b = readBytes(bank);
    ASSERT_EQ(32u, p.size());
    EXPECT_EQ(probeChunk("Inverted Quarter", 0.5f, 1.0f), p);
    ASSERT_EQ(96u, b.size());
    EXPECT_EQ(0, std::memcmp(b.data() + 64, p.data(), 32));

    // The saved chunk loaded over program 0 in a fresh run: gain 2, inverted.
    Audio in = stereoSignal(500);
    std::string input = file("in.wav"), output = file("out.wav");
    writeWav(input, in);
    r = runHost(quoted(kProbe) + " --load-raw-preset " + quoted(preset) + " -i " + quoted(input) + " -o " + quoted(output) + " --info");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    EXPECT_TRUE(contains(r.output, "loaded preset chunk of 32 bytes")) << r.output;
    EXPECT_TRUE(contains(r.output, "  *  0  Inverted Quarter")) << r.output;
    expectScaled(in, readWav(output), -2.0f);
}

// Saved, loaded in a fresh run and saved again: the same bytes, for both kinds of plug-in.
TEST_F(HostTest, PresetAndBankFilesReadBackBitIdentically) {
    struct Case {
        std::string plugin;
        const char *presetKind, *bankKind;
        uint32_t id;
    } cases[] = {{kProbe, "FPCh", "FBCh", kProbeId}, {kParamsProbe, "FxCk", "FxBk", kParamsProbeId}};
    Audio in = stereoSignal(300);
    const std::string input = file("in.wav"), output = file("out.wav");
    writeWav(input, in);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.presetKind);
        const std::string preset = file("p.fxp"), bank = file("b.fxb"), preset2 = file("p2.fxp"), bank2 = file("b2.fxb");
        HostRun r = runHost(quoted(c.plugin) + " --program 1 --param 0=0.5 --save-preset " + quoted(preset) +
                            " --save-bank " + quoted(bank));
        ASSERT_EQ(0u, r.exitCode) << r.output;
        EXPECT_TRUE(contains(r.output, "saved preset 'Half'")) << r.output;
        EXPECT_TRUE(contains(r.output, "saved bank of 3 programs")) << r.output;
        const std::vector<uint8_t> p = readBytes(preset), b = readBytes(bank);
        ASSERT_GT(p.size(), 60u);
        ASSERT_GT(b.size(), 160u);
        EXPECT_EQ(0, std::memcmp(p.data(), "CcnK", 4));
        EXPECT_EQ(0, std::memcmp(p.data() + 8, c.presetKind, 4));
        EXPECT_EQ(0, std::memcmp(b.data() + 8, c.bankKind, 4));
        EXPECT_EQ((uint32_t)(p[16] << 24 | p[17] << 16 | p[18] << 8 | p[19]), c.id);
        EXPECT_EQ(0, std::memcmp(p.data() + 28, "Half\0", 5));
        EXPECT_EQ(1, b[31]);  // the current program

        // The preset over program 2 and the bank, each in a fresh run, saved again.
        r = runHost(quoted(c.plugin) + " --program 2 --load-preset " + quoted(preset) + " -i " + quoted(input) + " -o " +
                    quoted(output) + " --save-preset " + quoted(preset2));
        ASSERT_EQ(0u, r.exitCode) << r.output;
        EXPECT_TRUE(contains(r.output, "loaded preset 'Half'")) << r.output;
        EXPECT_EQ(p, readBytes(preset2));
        expectScaled(in, readWav(output), 2.0f);
        r = runHost(quoted(c.plugin) + " --load-bank " + quoted(bank) + " --save-bank " + quoted(bank2) + " --info");
        ASSERT_EQ(0u, r.exitCode) << r.output;
        EXPECT_TRUE(contains(r.output, "  *  1  Half")) << r.output;
        EXPECT_EQ(b, readBytes(bank2));
    }
}

TEST_F(HostTest, FilesMadeByHandFromThePublishedLayoutLoad) {
    Audio in = stereoSignal(200);
    const std::string input = file("in.wav"), output = file("out.wav"), fxp = file("hand.fxp"), fxb = file("hand.fxb");
    writeWav(input, in);

    writeBytes(fxp, parameterPreset("By Hand", 0.125f, 1.0f));
    HostRun r = runHost(quoted(kParamsProbe) + " --load-preset " + quoted(fxp) + " -i " + quoted(input) + " -o " +
                        quoted(output) + " --info");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    EXPECT_TRUE(contains(r.output, "  *  0  By Hand")) << r.output;
    expectScaled(in, readWav(output), -0.5f);

    // A format 1 bank (no current program) of three parameter programs.
    std::vector<uint8_t> body;
    tag(body, "FxBk");
    be32(body, 1);
    be32(body, kParamsProbeId);
    be32(body, 7);
    be32(body, 3);
    body.insert(body.end(), 128, 0);
    for (const auto& p : {parameterPreset("A", 0.25f, 0.0f), parameterPreset("B", 0.5f, 0.0f), parameterPreset("C", 1.0f, 1.0f)})
        body.insert(body.end(), p.begin(), p.end());
    writeBytes(fxb, wrap(body));
    r = runHost(quoted(kParamsProbe) + " --load-bank " + quoted(fxb) + " --program 2 -i " + quoted(input) + " -o " +
                quoted(output) + " --info");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    EXPECT_TRUE(contains(r.output, "     0  A")) << r.output;
    EXPECT_TRUE(contains(r.output, "  *  2  C")) << r.output;
    expectScaled(in, readWav(output), -4.0f);

    writeBytes(fxp, chunkPreset(probeChunk("Chunk By Hand", 0.0625f, 0.0f)));
    r = runHost(quoted(kProbe) + " --load-preset " + quoted(fxp) + " -i " + quoted(input) + " -o " + quoted(output) + " --info");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    EXPECT_TRUE(contains(r.output, "  *  0  Chunk By Hand")) << r.output;
    expectScaled(in, readWav(output), 0.25f);
}

TEST_F(HostTest, DamagedPresetFilesAreRefusedWithTheirOwnMessageBeforeReachingThePlugin) {
    const std::vector<uint8_t> good = parameterPreset("Good", 0.5f, 0.0f);
    auto with = [](std::vector<uint8_t> b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + (size_t)i] = (uint8_t)(v >> (24 - 8 * i));
        return b;
    };
    std::vector<uint8_t> shortFile(good.begin(), good.end() - 1);
    std::vector<uint8_t> bank;
    tag(bank, "FxBk");
    be32(bank, 2);
    be32(bank, kParamsProbeId);
    be32(bank, 7);
    be32(bank, 9);  // nine programs, none there
    be32(bank, 0);
    bank.insert(bank.end(), 124, 0);
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* option;
        const char* message;
    } cases[] = {
        {"short", std::vector<uint8_t>(good.begin(), good.begin() + 10), "--load-preset", "too short for a VST preset or bank (10 bytes)"},
        {"magic", with(good, 0, 0x52494646), "--load-preset", "not a VST preset or bank: it starts with 'RIFF', not 'CcnK'"},
        {"size", shortFile, "--load-preset", "the header says 56 bytes follow it, the file has 55"},
        {"id", with(good, 16, kProbeId), "--load-preset", "the preset is for plug-in 'TgPl', this plug-in is 'TgPp'"},
        {"newer", with(good, 20, 8), "--load-preset", "the preset was saved by version 8 of the plug-in, this is version 7"},
        {"count", with(good, 24, 3), "--load-preset", "3 parameters need 12 bytes, the program holds 8"},
        {"kind", good, "--load-bank", "this is a preset file, not a bank file"},
        {"programs", wrap(bank), "--load-bank", "9 programs do not fit the 0 bytes after the bank header"},
        {"chunk", with(chunkPreset(probeChunk("x", 1, 0)), 16, kParamsProbeId), "--load-preset",
         "the preset holds an opaque chunk, but the plug-in keeps its state in parameters"},
    };
    SetEnvironmentVariableA("GAIN_PROBE_LOG", "1");
    const std::string damaged = file("damaged.fxp"), input = file("in.wav"), output = file("never.wav");
    writeWav(input, stereoSignal(10));
    for (const auto& c : cases) {
        writeBytes(damaged, c.bytes);
        HostRun r = runHost(quoted(kParamsProbe) + " " + c.option + " " + quoted(damaged) + " -i " + quoted(input) +
                            " -o " + quoted(output));
        EXPECT_EQ(1u, r.exitCode) << c.name << "\n" << r.output;
        EXPECT_TRUE(contains(r.output, "damaged.fxp: " + std::string(c.message))) << c.name << "\n" << r.output;
        EXPECT_FALSE(contains(r.output, "GainProbe:")) << c.name << ": reached the plug-in\n" << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << c.name << "\n" << r.output;
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(output.c_str())) << c.name;
    }
    // The same run with a sound file: the plug-in is told.
    writeBytes(damaged, good);
    HostRun r = runHost(quoted(kParamsProbe) + " --load-preset " + quoted(damaged));
    SetEnvironmentVariableA("GAIN_PROBE_LOG", nullptr);
    EXPECT_EQ(0u, r.exitCode) << r.output;
    EXPECT_TRUE(contains(r.output, "GainProbe: setParameter 1")) << r.output;
}

TEST_F(HostTest, ErrorsAreOneLineWithANonZeroExit) {
    std::string input = file("in.wav"), junk = file("junk.bin");
    writeWav(input, stereoSignal(10));
    writeBytes(junk, std::vector<uint8_t>(31, 7));
    struct Case {
        std::string arguments, message;
        DWORD code;
    } cases[] = {
        {quoted(file("missing.dll")), "brisane-host: cannot load", 1},
        {quoted(kHost), "exports neither VSTPluginMain nor main", 1},
        {quoted(kProbe) + " --program 3", "brisane-host: --program 3: the plug-in has programs 0..2", 1},
        {quoted(kProbe) + " --param 2=0.5", "brisane-host: --param 2: the plug-in has parameters 0..1", 1},
        {quoted(kProbe) + " --param 0=1.5", "brisane-host: --param: value 1.5 is outside 0..1", 2},
        {quoted(kProbe) + " --load-raw-preset " + quoted(junk), "brisane-host: the plug-in refused the preset chunk of 31 bytes", 1},
        {quoted(kParamsProbe) + " --save-raw-bank " + quoted(junk), "does not keep its state in chunks", 1},
        {quoted(kProbe) + " --load-preset " + quoted(junk), "junk.bin: not a VST preset or bank", 1},
        {quoted(kProbe) + " -i " + quoted(junk), "junk.bin: not a WAV file: no RIFF header", 1},
        {quoted(kProbe) + " -i " + quoted(file("none.wav")), "none.wav: cannot open", 1},
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
    Audio a = readWav(signal);
    EXPECT_EQ(2, a.channels);
    EXPECT_EQ(32000, a.sampleRate);
    EXPECT_EQ(16000u, a.frames());
    float peak = 0;
    for (float v : a.samples) peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.3f);
    EXPECT_LT(peak, 0.5f);
}

}  // namespace
