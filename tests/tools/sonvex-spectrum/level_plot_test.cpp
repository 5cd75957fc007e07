// The portable half of sonvex-spectrum: levels of known signals through a reference DFT with
// the server's 1/sqrt(N) scaling, peak finding and the geometry of the SVG plot.
#include "tools/sonvex-spectrum/level_plot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace sonvex::spectrum;

namespace {

const double kPi = 3.141592653589793;

std::vector<float> Hann(int n) {
    std::vector<float> w(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) w[static_cast<size_t>(i)] = static_cast<float>(0.5 - 0.5 * std::cos(2 * kPi * i / n));
    return w;
}

// Magnitudes of the forward real DFT scaled by 1/sqrt(N), as the server computes them.
std::vector<float> Magnitudes(const std::vector<float>& x) {
    const int n = static_cast<int>(x.size());
    std::vector<float> m(static_cast<size_t>(n / 2 + 1));
    for (int k = 0; k <= n / 2; ++k) {
        double re = 0, im = 0;
        for (int i = 0; i < n; ++i) {
            double a = 2 * kPi * static_cast<double>(k) * i / n;
            re += x[static_cast<size_t>(i)] * std::cos(a);
            im -= x[static_cast<size_t>(i)] * std::sin(a);
        }
        m[static_cast<size_t>(k)] = static_cast<float>(std::sqrt(re * re + im * im) / std::sqrt(static_cast<double>(n)));
    }
    return m;
}

double Sum(const std::vector<float>& w) {
    double s = 0;
    for (float v : w) s += v;
    return s;
}

// Averages `frames` half-overlapping Hann frames of `signal(t)` at rate `fs`.
template <class Signal>
SpectrumAverager Analyse(int n, double fs, int frames, Signal signal) {
    std::vector<float> w = Hann(n);
    SpectrumAverager avg(n, Sum(w), fs);
    for (int f = 0; f < frames; ++f) {
        std::vector<float> x(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            x[static_cast<size_t>(i)] = static_cast<float>(signal((f * n / 2 + i) / fs)) * w[static_cast<size_t>(i)];
        std::vector<float> m = Magnitudes(x);
        avg.Add(m.data());
    }
    return avg;
}

}  // namespace

TEST(SpectrumLevels, SinesBetweenBinsReadTheirFrequencyAndAmplitude) {
    const double fs = 8000, f1 = 1000.0 + 0.37 * fs / 512, f2 = 2718.0;
    SpectrumAverager avg = Analyse(512, fs, 3, [&](double t) {
        return 0.5 * std::sin(2 * kPi * f1 * t) + 0.05 * std::sin(2 * kPi * f2 * t + 1.0);
    });
    EXPECT_EQ(avg.Frames(), 3u);
    std::vector<Peak> peaks = FindPeaks(avg.LevelsDb(), avg.BinWidth(), 2);
    ASSERT_EQ(peaks.size(), 2u);
    // Parabolic refinement on a Hann window: within a tenth of a bin and half a dB.
    EXPECT_NEAR(peaks[0].frequency, f1, 0.1 * avg.BinWidth());
    EXPECT_NEAR(peaks[0].level, 20 * std::log10(0.5), 0.5);
    EXPECT_NEAR(peaks[1].frequency, f2, 0.1 * avg.BinWidth());
    EXPECT_NEAR(peaks[1].level, 20 * std::log10(0.05), 0.5);
}

TEST(SpectrumLevels, BinCentredSineAndConstantReadExactly) {
    const int n = 256;
    const double fs = 256;  // one Hz per bin
    SpectrumAverager sine = Analyse(n, fs, 1, [](double t) { return std::sin(2 * kPi * 32 * t); });
    EXPECT_NEAR(sine.LevelsDb()[32], 0.0, 1e-3);
    SpectrumAverager dc = Analyse(n, fs, 2, [](double) { return 0.5; });
    EXPECT_NEAR(dc.LevelsDb()[0], 20 * std::log10(0.5), 1e-3);
    // Hann leaks a constant into bin 1 only; bins further out are exactly empty.
    EXPECT_LT(dc.LevelsDb()[5], -100.0);
    SpectrumAverager silence = Analyse(n, fs, 1, [](double) { return 0.0; });
    EXPECT_EQ(silence.LevelsDb()[10], kFloorDb);
    EXPECT_TRUE(FindPeaks(silence.LevelsDb(), 1.0, 5).empty());
}

TEST(SpectrumLevels, PowerIsAveragedNotMagnitude) {
    // Two frames with magnitudes 1 and 0: the mean power is 1/2, i.e. -3 dB below one frame.
    SpectrumAverager avg(4, 4.0, 4.0);  // rectangular window of length 4
    const float one[3] = {0, 1, 0}, zero[3] = {0, 0, 0};
    avg.Add(one);
    double single = avg.LevelsDb()[1];
    avg.Add(zero);
    EXPECT_NEAR(avg.LevelsDb()[1], single - 10 * std::log10(2.0), 1e-9);
    EXPECT_THROW(SpectrumAverager(100, 1.0, 1.0), std::invalid_argument);
    // Samples of infinity or NaN in a float file keep the levels (and so the plot) finite.
    const float odd[3] = {std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(), 0};
    avg.Add(odd);
    std::vector<double> levels = avg.LevelsDb();
    EXPECT_EQ(levels[0], kCeilingDb);
    EXPECT_EQ(levels[1], kFloorDb);
    std::string svg = RenderSpectrumSvg(levels, 1.0, FindPeaks(levels, 1.0, 5), PlotInfo());
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    EXPECT_EQ(svg.find("inf"), std::string::npos);
}

TEST(SpectrumPeaks, StrongestFirstPlateausOnceEdgesAndFloorIgnored) {
    std::vector<double> levels = {0, -50, -10, -50, -30, -30, -60, -80, -70, -90, 5};
    std::vector<Peak> peaks = FindPeaks(levels, 10.0, 10, -65.0);
    ASSERT_EQ(peaks.size(), 2u);  // bin 0 and the last bin are not peaks; -70 is below the floor
    EXPECT_EQ(peaks[0].bin, 2);
    EXPECT_DOUBLE_EQ(peaks[0].frequency, 20.0);  // symmetric neighbours: no shift
    EXPECT_DOUBLE_EQ(peaks[0].level, -10.0);
    EXPECT_EQ(peaks[1].bin, 4);  // the plateau at bins 4 and 5 counts once
    EXPECT_EQ(FindPeaks(levels, 10.0, 1, -65.0).size(), 1u);
    // An asymmetric peak moves toward its higher neighbour and rises above the bin value.
    std::vector<Peak> shifted = FindPeaks({-100, -20, -10, -14, -100}, 1.0, 1);
    ASSERT_EQ(shifted.size(), 1u);
    EXPECT_GT(shifted[0].frequency, 2.0);
    EXPECT_LT(shifted[0].frequency, 2.5);
    EXPECT_GT(shifted[0].level, -10.0);
}

TEST(SpectrumSvg, AxesCurveAndPeaksLineUp) {
    // 48 kHz, 8192-point: bins of 5.86 Hz up to 24 kHz; a tone exactly at 1 kHz.
    const int bins = 4097;
    const double binWidth = 48000.0 / 8192;
    std::vector<double> levels(bins, -90.0);
    for (int k = 0; k < bins; ++k) levels[static_cast<size_t>(k)] = -90.0 + 5.0 * std::sin(k * 0.01);
    levels[171] = -6.0;  // 1001.95 Hz
    Peak peak{1000.0, -6.0, 171};
    PlotInfo info;
    info.title = "Spectrum of a<b>&\"c\".wav";
    info.subtitle = "test";
    std::string svg = RenderSpectrumSvg(levels, binWidth, {peak}, info);

    EXPECT_EQ(svg.compare(0, 5, "<?xml"), 0);
    EXPECT_NE(svg.find("Spectrum of a&lt;b&gt;&amp;&quot;c&quot;.wav"), std::string::npos);
    EXPECT_EQ(svg.find("a<b>"), std::string::npos);
    for (const char* label : {">10<", ">20<", ">50<", ">100<", ">1k<", ">2k<", ">5k<", ">10k<", ">20k<"})
        EXPECT_NE(svg.find(label), std::string::npos) << label;
    EXPECT_EQ(svg.find(">50k<"), std::string::npos);  // beyond Nyquist

    // Plot rectangle (the frame drawn last) and the curve's points all inside it.
    double x0, y0, w, h;
    size_t at = svg.rfind("<rect x=\"");
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(std::sscanf(svg.c_str() + at, "<rect x=\"%lf\" y=\"%lf\" width=\"%lf\" height=\"%lf\" fill=\"none\"", &x0, &y0, &w, &h), 4);
    const double x1 = x0 + w, y1 = y0 + h;
    at = svg.find("id=\"spectrum\"");
    ASSERT_NE(at, std::string::npos);
    at = svg.find("points=\"", at);
    ASSERT_NE(at, std::string::npos);
    const char* p = svg.c_str() + at + 8;
    int count = 0;
    double lastX = -1, minY = 1e9, x, y;
    int used = 0;
    while (std::sscanf(p, "%lf,%lf %n", &x, &y, &used) == 2 && used > 0) {
        EXPECT_GE(x, x0 - 0.05);
        EXPECT_LE(x, x1 + 0.05);
        EXPECT_GE(y, y0 - 0.05);
        EXPECT_LE(y, y1 + 0.05);
        EXPECT_GT(x, lastX);  // one point per pixel column at most, left to right
        lastX = x;
        minY = std::min(minY, y);
        ++count;
        p += used;
        used = 0;
    }
    EXPECT_EQ(*p, '"');
    EXPECT_GT(count, 300);
    EXPECT_LT(count, 1000);  // 4096 bins thinned to the plot's pixel columns
    // The narrow tone survives the thinning: the highest point is the -6 dB bin.
    // dB scale: top 0 dB, bottom -120 dB.
    EXPECT_NEAR(minY, y0 + 6.0 / 120.0 * (y1 - y0), 0.1);

    // The peak marker at 1 kHz sits on the 1k tick.
    double markerX, markerY, tickX;
    at = svg.find("<circle cx=\"");
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(std::sscanf(svg.c_str() + at, "<circle cx=\"%lf\" cy=\"%lf\"", &markerX, &markerY), 2);
    at = svg.find(">1k</text>");
    ASSERT_NE(at, std::string::npos);
    at = svg.rfind("<text x=\"", at);
    ASSERT_EQ(std::sscanf(svg.c_str() + at, "<text x=\"%lf\"", &tickX), 1);
    EXPECT_NEAR(markerX, tickX, 0.06);
    // The peak table to the right of the plot.
    at = svg.find(">1000.0 Hz</text>");
    ASSERT_NE(at, std::string::npos);
    EXPECT_NE(svg.find(">-6.0 dB</text>", at), std::string::npos);
    double tableX;
    ASSERT_EQ(std::sscanf(svg.c_str() + svg.rfind("<text x=\"", at), "<text x=\"%lf\"", &tableX), 1);
    EXPECT_GT(tableX, x1);
}

TEST(SpectrumSvg, SmallTransformsStartAtTheirFirstDecade) {
    std::vector<double> levels(17, -40.0);  // 32-point at 8 kHz: 250 Hz bins
    std::string svg = RenderSpectrumSvg(levels, 250.0, {}, PlotInfo());
    EXPECT_NE(svg.find(">100<"), std::string::npos);
    EXPECT_EQ(svg.find(">10<"), std::string::npos);
    EXPECT_EQ(svg.find("id=\"peaks\""), std::string::npos);
    EXPECT_THROW(RenderSpectrumSvg({-1.0}, 1.0, {}, PlotInfo()), std::invalid_argument);
}

TEST(SpectrumText, LabelsAndEscaping) {
    EXPECT_EQ(FrequencyLabel(20), "20");
    EXPECT_EQ(FrequencyLabel(500), "500");
    EXPECT_EQ(FrequencyLabel(1000), "1k");
    EXPECT_EQ(FrequencyLabel(2500), "2.5k");
    EXPECT_EQ(FrequencyLabel(20000), "20k");
    EXPECT_EQ(XmlEscape("a&b<c>'\x01"), "a&amp;b&lt;c&gt;&apos;?");
    float mono[2];
    const float stereo[4] = {1.0f, 0.0f, -0.5f, 0.25f};
    MixToMono(stereo, 2, 2, mono);
    EXPECT_EQ(mono[0], 0.5f);
    EXPECT_EQ(mono[1], -0.125f);
}
