// The portable half of sonvex-spectrum: averaging of magnitude vectors, peak finding and the
// SVG drawing. The transforms themselves run in the COM server; this code only sees their
// magnitude vectors.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace sonvex {
namespace spectrum {

// Mixes interleaved frames down to one channel: the mean of the channels.
void MixToMono(const float* interleaved, size_t frames, int channels, float* mono);

// Averages the power of successive magnitude vectors of an N-point transform that is scaled
// by 1/sqrt(N) in the forward direction, as the server's ForwardFFT is.
class SpectrumAverager {
public:
    // fftSize N (power of two >= 2); windowSum = sum of the window's N values.
    SpectrumAverager(int fftSize, double windowSum, double sampleRate);

    // magnitudes: N/2+1 values.
    void Add(const float* magnitudes);

    int Bins() const { return m_nFftSize / 2 + 1; }
    int FftSize() const { return m_nFftSize; }
    double BinWidth() const { return m_fSampleRate / m_nFftSize; }
    double SampleRate() const { return m_fSampleRate; }
    uint64_t Frames() const { return m_nFrames; }

    // Level of every bin in dB relative to a full-scale sine (a sine of amplitude 1 centred on
    // a bin reads 0 dB; a constant 1 reads 0 dB in bin 0). Silence (and NaN) reads kFloorDb,
    // infinity kCeilingDb.
    std::vector<double> LevelsDb() const;

private:
    int m_nFftSize;
    double m_fWindowSum;
    double m_fSampleRate;
    uint64_t m_nFrames = 0;
    std::vector<double> m_PowerSum;
};

constexpr double kFloorDb = -200.0;
constexpr double kCeilingDb = 200.0;

struct Peak {
    double frequency;  // Hz, refined between bins
    double level;      // dB, refined
    int bin;
};

// The `count` strongest local maxima (bins 1..N/2-1), strongest first, each refined by a
// parabola through the dB values of its bin and the two neighbours. Maxima below `floorDb`
// are not reported.
std::vector<Peak> FindPeaks(const std::vector<double>& levelsDb, double binWidth, int count,
                            double floorDb = -150.0);

struct PlotInfo {
    std::string title;     // first line (escaped by the renderer)
    std::string subtitle;  // second line
    int width = 1160;
    int height = 540;
};

// An SVG document: logarithmic frequency axis from the first bin (or 10 Hz) to the Nyquist
// frequency with labelled decades and 2/5 ticks, dB axis with a 10 dB grid, the spectrum as
// a filled curve (the maximum of the bins that share a pixel column) and the peaks marked.
std::string RenderSpectrumSvg(const std::vector<double>& levelsDb, double binWidth,
                              const std::vector<Peak>& peaks, const PlotInfo& info);

std::string XmlEscape(const std::string& text);
std::string FrequencyLabel(double hz);  // "20", "500", "1k", "2.5k", "20k"

}  // namespace spectrum
}  // namespace sonvex
