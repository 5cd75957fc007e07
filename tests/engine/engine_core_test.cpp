#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <vector>

#include "examples/engine/engine_core.h"

using namespace example_engine;

namespace {

constexpr double kTwoPi = 6.283185307179586;

std::vector<float> noise(size_t n, float amplitude, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-amplitude, amplitude);
    std::vector<float> v(n);
    for (auto& x : v) x = d(rng);
    return v;
}

// Interleaved sine on every channel.
std::vector<float> sine(double hz, int rate, int channels, size_t frames, double amplitude) {
    std::vector<float> v(frames * (size_t)channels);
    for (size_t f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c) v[f * (size_t)channels + (size_t)c] = (float)(amplitude * std::sin(kTwoPi * hz * (double)f / rate));
    return v;
}

double rms(const std::vector<float>& v, size_t from, int channels, int channel) {
    double sum = 0;
    size_t n = 0;
    for (size_t k = from * (size_t)channels + (size_t)channel; k < v.size(); k += (size_t)channels, ++n) sum += (double)v[k] * v[k];
    return std::sqrt(sum / (double)n);
}

// Level change in dB of a steady sine through the engine (the first half second settles).
double sineGainDb(EngineCore& engine, double hz) {
    const int rate = engine.sampleRate();
    const size_t frames = (size_t)rate;
    std::vector<float> in = sine(hz, rate, engine.channels(), frames, 0.1), out(in.size());
    engine.reset();
    engine.process(in.data(), out.data(), in.size());
    return 20.0 * std::log10(rms(out, frames / 2, engine.channels(), 0) / rms(in, frames / 2, engine.channels(), 0));
}

void setBand(EngineCore& e, int band, BandType type, double hz, double gainDb, double q) {
    e.setValue(bandParameter(band, kBandOn), 1.0f);
    e.setValue(bandParameter(band, kBandType), valueFromBandType(type));
    e.setValue(bandParameter(band, kBandFrequency), valueFromBandFrequency(hz));
    e.setValue(bandParameter(band, kBandGain), valueFromBandGainDb(gainDb));
    e.setValue(bandParameter(band, kBandQ), valueFromBandQ(q));
}

TEST(EngineSignal, NeutralSettingsPassEverySampleUnchangedForAnyFormat) {
    for (int channels = 1; channels <= kMaxChannels; ++channels) {
        for (int rate : {22050, 44100, 96000}) {
            EngineCore e;
            ASSERT_TRUE(e.setFormat(rate, channels));
            std::vector<float> in = noise((size_t)channels * 777, 1.5f, (unsigned)(channels * rate)), out(in.size());
            e.process(in.data(), out.data(), in.size());
            ASSERT_EQ(0, std::memcmp(in.data(), out.data(), in.size() * sizeof(float))) << channels << " ch at " << rate;
        }
    }
}

TEST(EngineSignal, BellBandReachesItsGainAtTheCentreAndLeavesDistantFrequencies) {
    struct Case { int rate; double hz, gainDb, q; } cases[] = {
        {44100, 125, 6, 1}, {44100, 1250, -9, 2}, {48000, 8000, 12, 1}, {96000, 3150, 4, 0.7}};
    for (const auto& c : cases) {
        EngineCore e;
        ASSERT_TRUE(e.setFormat(c.rate, 2));
        setBand(e, 5, BandType::Peak, c.hz, c.gainDb, c.q);
        // The stored values are 0..1 floats, so the band sits at the frequency they map back to.
        double centre = bandFrequencyFromValue(e.value(bandParameter(5, kBandFrequency)));
        double gain = bandGainDbFromValue(e.value(bandParameter(5, kBandGain)));
        EXPECT_NEAR(gain, sineGainDb(e, centre), 0.05) << c.hz << " Hz at " << c.rate;
        EXPECT_NEAR(0.0, sineGainDb(e, centre / 16), 0.3) << "four octaves below " << c.hz;
    }
}

TEST(EngineSignal, ShelvesAndCutsShapeTheirSideOfTheRange) {
    EngineCore e;
    ASSERT_TRUE(e.setFormat(48000, 1));
    setBand(e, 0, BandType::LowShelf, 200, 6, 0.707);
    EXPECT_NEAR(6.0, sineGainDb(e, 25), 0.2);
    EXPECT_NEAR(0.0, sineGainDb(e, 5000), 0.1);

    EngineCore h;
    ASSERT_TRUE(h.setFormat(48000, 1));
    setBand(h, 12, BandType::HighShelf, 4000, -8, 0.707);
    EXPECT_NEAR(-8.0, sineGainDb(h, 18000), 0.3);
    EXPECT_NEAR(0.0, sineGainDb(h, 100), 0.1);

    EngineCore cut;
    ASSERT_TRUE(cut.setFormat(44100, 2));
    setBand(cut, 3, BandType::LowCut, 1000, 0, 0.7071);
    double corner = bandFrequencyFromValue(cut.value(bandParameter(3, kBandFrequency)));
    EXPECT_NEAR(-3.0, sineGainDb(cut, corner), 0.1);
    EXPECT_LT(sineGainDb(cut, 100), -35.0);
    EXPECT_NEAR(0.0, sineGainDb(cut, 10000), 0.1);
    setBand(cut, 3, BandType::HighCut, 1000, 0, 0.7071);
    EXPECT_LT(sineGainDb(cut, 10000), -35.0);
}

TEST(EngineSignal, BandAboveNyquistStaysStable) {
    EngineCore e;
    ASSERT_TRUE(e.setFormat(8000, 2));
    setBand(e, 12, BandType::Peak, 18000, 18, 10);
    std::vector<float> in = noise(2 * 8000, 1.0f, 3), out(in.size());
    e.process(in.data(), out.data(), in.size());
    for (float v : out) ASSERT_TRUE(std::isfinite(v) && std::fabs(v) < 100.0f);
}

TEST(EngineSignal, OutputAndInputGainsFollowTheirDecibels) {
    for (float v : {0.0f, 0.25f, 0.375f, 0.75f, 1.0f}) {
        for (int which : {(int)kOutputGain, (int)kInputGain}) {
            EngineCore e;
            e.setValue(which, v);
            std::vector<float> in = noise(2 * 256, 0.5f, 9), out(in.size());
            e.process(in.data(), out.data(), in.size());
            double expected = std::pow(10.0, (-24.0 + 48.0 * v) / 20.0);
            for (size_t k = 0; k < in.size(); ++k)
                ASSERT_NEAR(expected * in[k], out[k], 1e-6 * std::fabs(expected)) << "parameter " << which << " value " << v;
        }
    }
}

TEST(EngineSignal, DriveIsBoundedOddAndStrongerWithMoreDrive) {
    EngineCore soft, hard;
    soft.setValue(kDrive, 0.2f);
    hard.setValue(kDrive, 1.0f);
    std::vector<float> in = noise(2 * 4096, 4.0f, 11), a(in.size()), b(in.size());
    in[0] = 1e6f;  // a huge sample too
    soft.process(in.data(), a.data(), in.size());
    hard.process(in.data(), b.data(), in.size());
    for (size_t k = 0; k < in.size(); ++k) {
        ASSERT_LE(std::fabs(a[k]), 1.0f);
        ASSERT_LE(std::fabs(b[k]), 1.0f);
        if (in[k] != 0.0f) ASSERT_EQ(in[k] > 0, a[k] >= 0);
    }
    // A quiet sine: the stronger drive is further from linear.
    std::vector<float> quiet = sine(440, 44100, 2, 1000, 0.05), qa(quiet.size()), qb(quiet.size());
    soft.process(quiet.data(), qa.data(), quiet.size());
    hard.process(quiet.data(), qb.data(), quiet.size());
    double gainSoft = rms(qa, 0, 2, 0) / rms(quiet, 0, 2, 0), gainHard = rms(qb, 0, 2, 0) / rms(quiet, 0, 2, 0);
    EXPECT_GT(gainHard, gainSoft);
    EXPECT_NEAR(std::pow(10.0, 0.2 * 36 / 20), gainSoft, 0.05 * gainSoft);  // small signals: the drive gain
}

TEST(EngineSignal, ChannelsShareSettingsButNotSignals) {
    EngineCore e;
    ASSERT_TRUE(e.setFormat(44100, 3));
    e.loadValues(factoryPrograms()[1].values);
    const size_t frames = 4000;
    std::vector<float> mono = noise(frames, 0.7f, 5), in(frames * 3, 0.0f), out(in.size());
    for (size_t f = 0; f < frames; ++f) in[f * 3] = in[f * 3 + 1] = mono[f];  // channel 2 silent
    e.process(in.data(), out.data(), in.size());
    for (size_t f = 0; f < frames; ++f) {
        ASSERT_EQ(out[f * 3], out[f * 3 + 1]);
        ASSERT_EQ(0.0f, out[f * 3 + 2]);
    }
}

TEST(EngineSignal, PartialFrameAndZeroChannelsPassThrough) {
    EngineCore e;
    e.setValue(kOutputGain, 1.0f);
    std::vector<float> in = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f}, out(5, 9.0f);
    e.process(in.data(), out.data(), in.size());
    EXPECT_NE(0.1f, out[0]);  // the whole frames are processed
    EXPECT_EQ(0.5f, out[4]);  // the odd value is not a frame
    ASSERT_TRUE(e.setFormat(44100, 0));
    std::fill(out.begin(), out.end(), 9.0f);
    e.process(in.data(), out.data(), in.size());
    EXPECT_EQ(in, out);
}

TEST(EngineSignal, AutoGainPullsTheOutputBackToTheInputLevel) {
    EngineCore e;
    e.setValue(kInputGain, valueFromGainDb(12));
    e.setValue(kAutoGain, 1.0f);
    std::vector<float> in = sine(1000, 44100, 2, 512, 0.05), out(in.size());
    int moves = 0;
    for (int block = 0; block < 300; ++block) moves += e.process(in.data(), out.data(), in.size()) ? 1 : 0;
    EXPECT_GT(moves, 5);
    EXPECT_NEAR(-12.0, gainDbFromValue(e.value(kOutputGain)), 0.6);
    EXPECT_FALSE(e.process(in.data(), out.data(), in.size()));  // settled: nothing more to report
    EXPECT_NEAR(rms(in, 0, 2, 0), rms(out, 0, 2, 0), 0.08 * rms(in, 0, 2, 0));
}

TEST(EngineFormat, RefusedFormatsChangeNothing) {
    EngineCore e;
    ASSERT_TRUE(e.setFormat(48000, 4));
    EXPECT_FALSE(e.setFormat(0, 2));
    EXPECT_FALSE(e.setFormat(-44100, 2));
    EXPECT_FALSE(e.setFormat(44100, 9));
    EXPECT_FALSE(e.setFormat(44100, -1));
    EXPECT_EQ(48000, e.sampleRate());
    EXPECT_EQ(4, e.channels());
}

TEST(EngineParameters, ValuesAreClampedAndBadOnesRefused) {
    EngineCore e;
    EXPECT_TRUE(e.setValue(0, 0.3f));
    EXPECT_EQ(0.3f, e.value(0));
    EXPECT_TRUE(e.setValue(68, 1.7f));
    EXPECT_EQ(1.0f, e.value(68));
    EXPECT_TRUE(e.setValue(1, -2.0f));
    EXPECT_EQ(0.0f, e.value(1));
    ParameterValues before = e.values();
    EXPECT_FALSE(e.setValue(69, 0.5f));
    EXPECT_FALSE(e.setValue(-1, 0.5f));
    EXPECT_FALSE(e.setValue(2, std::nanf("")));
    EXPECT_EQ(before, e.values());
}

TEST(EngineParameters, NamesLabelsAndTextsFitTheHostsEightCharacters) {
    std::set<std::string> names;
    for (int i = 0; i < kParameterCount; ++i) {
        std::string name = parameterName(i);
        EXPECT_FALSE(name.empty()) << i;
        EXPECT_LE(name.size(), 8u) << name;
        names.insert(name);
        EXPECT_LE(parameterLabel(i).size(), 8u);
        for (float v : {0.0f, 0.5f, 1.0f}) EXPECT_LE(parameterDisplay(i, v).size(), 8u) << name << " " << v;
    }
    EXPECT_EQ((size_t)kParameterCount, names.size());
    EXPECT_EQ("B13 Q", parameterName(68));
    EXPECT_EQ("+0.0", parameterDisplay(kOutputGain, 0.5f));
    EXPECT_EQ("-24.0", parameterDisplay(kInputGain, 0.0f));
    EXPECT_EQ("1.00", parameterDisplay(bandParameter(0, kBandQ), 0.5f));
    EXPECT_EQ("20.0", parameterDisplay(bandParameter(0, kBandFrequency), 0.0f));
    EXPECT_EQ("20.00k", parameterDisplay(bandParameter(0, kBandFrequency), 1.0f));
    EXPECT_EQ("Hi Shelf", parameterDisplay(bandParameter(4, kBandType), valueFromBandType(BandType::HighShelf)));
    EXPECT_EQ("Off", parameterDisplay(bandParameter(4, kBandOn), 0.2f));
    EXPECT_EQ("Hz", parameterLabel(bandParameter(7, kBandFrequency)));
    EXPECT_EQ("", parameterName(69));
}

TEST(EnginePrograms, FactoryProgramsAreNamedValidAndStable) {
    const auto& programs = factoryPrograms();
    ASSERT_GE(programs.size(), 3u);
    EXPECT_EQ(neutralValues(), programs[0].values);
    std::set<std::string> names;
    for (const auto& p : programs) {
        std::string name = p.name;
        EXPECT_FALSE(name.empty());
        EXPECT_LE(name.size(), 24u);
        names.insert(name);
        for (float v : p.values) EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << name;
        for (int rate : {8000, 44100, 192000}) {
            EngineCore e;
            ASSERT_TRUE(e.setFormat(rate, 2));
            e.loadValues(p.values);
            std::vector<float> in = noise(2 * (size_t)rate / 2, 1.0f, 21), out(in.size());
            e.process(in.data(), out.data(), in.size());
            for (float v : out) ASSERT_TRUE(std::isfinite(v) && std::fabs(v) < 20.0f) << name << " at " << rate;
        }
    }
    EXPECT_EQ(programs.size(), names.size());
}

TEST(EnginePrograms, ValuesAreMatchedToTheirFactoryProgramUntilOneMoves) {
    const auto& programs = factoryPrograms();
    for (size_t i = 0; i < programs.size(); ++i) EXPECT_EQ((int)i, matchingFactoryProgram(programs[i].values));
    ParameterValues moved = programs.back().values;
    moved[kParameterCount - 1] = std::nextafter(moved[kParameterCount - 1], 2.0f);
    EXPECT_EQ(-1, matchingFactoryProgram(moved));
}

TEST(EnginePrograms, ValueMappingsInvertEachOther) {
    for (float v = 0.0f; v <= 1.0f; v += 0.125f) {
        EXPECT_NEAR(v, valueFromGainDb(gainDbFromValue(v)), 1e-6);
        EXPECT_NEAR(v, valueFromBandFrequency(bandFrequencyFromValue(v)), 1e-6);
        EXPECT_NEAR(v, valueFromBandGainDb(bandGainDbFromValue(v)), 1e-6);
        EXPECT_NEAR(v, valueFromBandQ(bandQFromValue(v)), 1e-6);
    }
    for (int t = 0; t < kBandTypeCount; ++t) EXPECT_EQ((BandType)t, bandTypeFromValue(valueFromBandType((BandType)t)));
    EXPECT_NEAR(1.0, bandQFromValue(0.5f), 1e-9);
}

}  // namespace
