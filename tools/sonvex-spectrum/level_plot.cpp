#include "tools/sonvex-spectrum/level_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace sonvex {
namespace spectrum {

void MixToMono(const float* interleaved, size_t frames, int channels, float* mono) {
    if (channels == 1) {
        std::copy(interleaved, interleaved + frames, mono);
        return;
    }
    const float scale = 1.0f / static_cast<float>(channels);
    for (size_t f = 0; f < frames; ++f) {
        float sum = 0.0f;
        for (int c = 0; c < channels; ++c) sum += interleaved[f * channels + c];
        mono[f] = sum * scale;
    }
}

// ---------------------------------------------------------------------------------------------

SpectrumAverager::SpectrumAverager(int fftSize, double windowSum, double sampleRate)
    : m_nFftSize(fftSize), m_fWindowSum(windowSum), m_fSampleRate(sampleRate) {
    if (fftSize < 2 || (fftSize & (fftSize - 1)) != 0) throw std::invalid_argument("FFT size must be a power of two");
    if (!(windowSum > 0.0)) throw std::invalid_argument("window sum must be positive");
    m_PowerSum.assign(static_cast<size_t>(Bins()), 0.0);
}

void SpectrumAverager::Add(const float* magnitudes) {
    for (int k = 0; k < Bins(); ++k) {
        double m = magnitudes[k];
        m_PowerSum[static_cast<size_t>(k)] += m * m;
    }
    ++m_nFrames;
}

std::vector<double> SpectrumAverager::LevelsDb() const {
    std::vector<double> levels(static_cast<size_t>(Bins()), kFloorDb);
    if (m_nFrames == 0) return levels;
    // ForwardFFT scales by 1/sqrt(N): a sine of amplitude A on bin k gives a magnitude of
    // A/2 * windowSum / sqrt(N); bins 0 and N/2 hold real values and lack the factor 1/2.
    const double rootN = std::sqrt(static_cast<double>(m_nFftSize));
    for (int k = 0; k < Bins(); ++k) {
        double power = m_PowerSum[static_cast<size_t>(k)] / static_cast<double>(m_nFrames);
        double edge = (k == 0 || k == Bins() - 1) ? 1.0 : 2.0;
        double amplitude = std::sqrt(power) * edge * rootN / m_fWindowSum;
        // Infinite samples in a float file must not wreck the plot's scale: they read as the ceiling.
        if (std::isinf(amplitude)) levels[static_cast<size_t>(k)] = kCeilingDb;
        else if (amplitude > 0.0)
            levels[static_cast<size_t>(k)] = std::min(kCeilingDb, std::max(kFloorDb, 20.0 * std::log10(amplitude)));
    }
    return levels;
}

// ---------------------------------------------------------------------------------------------

std::vector<Peak> FindPeaks(const std::vector<double>& levelsDb, double binWidth, int count, double floorDb) {
    std::vector<Peak> peaks;
    const int bins = static_cast<int>(levelsDb.size());
    for (int k = 1; k + 1 < bins; ++k) {
        double left = levelsDb[static_cast<size_t>(k - 1)], mid = levelsDb[static_cast<size_t>(k)],
               right = levelsDb[static_cast<size_t>(k + 1)];
        // A plateau counts once, at its first bin.
        if (!(mid > left && mid >= right) || mid < floorDb) continue;
        double curvature = left - 2.0 * mid + right;
        double offset = 0.0, level = mid;
        if (curvature < 0.0) {
            offset = 0.5 * (left - right) / curvature;
            offset = std::max(-0.5, std::min(0.5, offset));
            level = mid - 0.25 * (left - right) * offset;
        }
        peaks.push_back(Peak{(k + offset) * binWidth, level, k});
    }
    std::stable_sort(peaks.begin(), peaks.end(), [](const Peak& a, const Peak& b) { return a.level > b.level; });
    if (count >= 0 && peaks.size() > static_cast<size_t>(count)) peaks.resize(static_cast<size_t>(count));
    return peaks;
}

// ---------------------------------------------------------------------------------------------

std::string XmlEscape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default:
                // Control characters are not allowed in XML 1.0 text.
                if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') out += '?';
                else out += static_cast<char>(c);
        }
    }
    return out;
}

std::string FrequencyLabel(double hz) {
    char text[32];
    if (hz >= 1000.0) std::snprintf(text, sizeof text, "%gk", hz / 1000.0);
    else std::snprintf(text, sizeof text, "%g", hz);
    return text;
}

namespace {

std::string Num(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}

}  // namespace

std::string RenderSpectrumSvg(const std::vector<double>& levelsDb, double binWidth, const std::vector<Peak>& peaks,
                              const PlotInfo& info) {
    const int bins = static_cast<int>(levelsDb.size());
    if (bins < 2 || !(binWidth > 0.0)) throw std::invalid_argument("nothing to plot");
    const double W = info.width, H = info.height;
    // Peaks are listed in a panel to the right of the plot, where they hide nothing.
    const double panelW = peaks.empty() ? 0.0 : 200.0;
    const double left = 72, right = 24 + panelW, top = 70, bottom = 58;
    const double plotW = W - left - right, plotH = H - top - bottom;

    const double nyquist = binWidth * (bins - 1);
    double fMin = std::pow(10.0, std::floor(std::log10(std::max(10.0, binWidth))));
    if (fMin >= nyquist) fMin = nyquist / 10.0;
    const double fMax = nyquist;
    const double logMin = std::log10(fMin), logSpan = std::log10(fMax) - logMin;
    auto xOf = [&](double f) { return left + (std::log10(f) - logMin) / logSpan * plotW; };

    double maxLevel = kFloorDb;
    for (int k = 1; k < bins; ++k) maxLevel = std::max(maxLevel, levelsDb[static_cast<size_t>(k)]);
    const double dbTop = std::max(0.0, std::ceil(maxLevel / 10.0) * 10.0);
    const double dbBottom = dbTop - 120.0;
    auto yOf = [&](double db) {
        db = std::max(dbBottom, std::min(dbTop, db));
        return top + (dbTop - db) / (dbTop - dbBottom) * plotH;
    };

    std::string svg;
    svg.reserve(64 * 1024);
    svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(info.width) + "\" height=\"" +
           std::to_string(info.height) + "\" viewBox=\"0 0 " + std::to_string(info.width) + " " +
           std::to_string(info.height) + "\" font-family=\"DejaVu Sans, Arial, Helvetica, sans-serif\">\n";
    svg += "<rect x=\"0\" y=\"0\" width=\"" + Num(W) + "\" height=\"" + Num(H) + "\" fill=\"#ffffff\"/>\n";
    svg += "<text x=\"" + Num(W / 2) + "\" y=\"26\" font-size=\"17\" font-weight=\"bold\" text-anchor=\"middle\" fill=\"#222\">" +
           XmlEscape(info.title) + "</text>\n";
    svg += "<text x=\"" + Num(W / 2) + "\" y=\"47\" font-size=\"13\" text-anchor=\"middle\" fill=\"#444\">" +
           XmlEscape(info.subtitle) + "</text>\n";
    svg += "<rect x=\"" + Num(left) + "\" y=\"" + Num(top) + "\" width=\"" + Num(plotW) + "\" height=\"" + Num(plotH) +
           "\" fill=\"#fbfbfd\" stroke=\"none\"/>\n";

    // Level grid every 10 dB, labelled every 20 dB.
    svg += "<g id=\"level-grid\" font-size=\"12\" fill=\"#333\" text-anchor=\"end\">\n";
    for (double db = dbTop; db >= dbBottom - 1e-9; db -= 10.0) {
        double y = yOf(db);
        svg += "<line x1=\"" + Num(left) + "\" y1=\"" + Num(y) + "\" x2=\"" + Num(left + plotW) + "\" y2=\"" + Num(y) +
               "\" stroke=\"" + (db == 0.0 ? "#999" : "#dddddd") + "\" stroke-width=\"1\"/>\n";
        if (std::fmod(std::fabs(db - dbTop), 20.0) < 1e-9)
            svg += "<text x=\"" + Num(left - 8) + "\" y=\"" + Num(y + 4) + "\">" + std::to_string(static_cast<int>(db)) +
                   "</text>\n";
    }
    svg += "</g>\n";

    // Frequency grid: a line at every 1..9 times a decade, labels at 1, 2 and 5.
    svg += "<g id=\"frequency-grid\" font-size=\"12\" fill=\"#333\" text-anchor=\"middle\">\n";
    for (double decade = std::pow(10.0, std::floor(logMin)); decade <= fMax; decade *= 10.0) {
        for (int m = 1; m <= 9; ++m) {
            double f = decade * m;
            if (f < fMin * (1 - 1e-9) || f > fMax * (1 + 1e-9)) continue;
            double x = xOf(f);
            svg += "<line x1=\"" + Num(x) + "\" y1=\"" + Num(top) + "\" x2=\"" + Num(x) + "\" y2=\"" + Num(top + plotH) +
                   "\" stroke=\"" + (m == 1 ? "#b8b8b8" : "#e6e6e6") + "\" stroke-width=\"1\"/>\n";
            if (m == 1 || m == 2 || m == 5) {
                svg += "<line x1=\"" + Num(x) + "\" y1=\"" + Num(top + plotH) + "\" x2=\"" + Num(x) + "\" y2=\"" +
                       Num(top + plotH + 5) + "\" stroke=\"#333\"/>\n";
                svg += "<text x=\"" + Num(x) + "\" y=\"" + Num(top + plotH + 19) + "\"" +
                       (m == 1 ? " font-weight=\"bold\"" : "") + ">" + FrequencyLabel(f) + "</text>\n";
            }
        }
    }
    svg += "</g>\n";

    // The curve: one point per bin where bins are wider than a pixel, otherwise the highest bin
    // of each pixel column, so narrow peaks stay visible at the top of the range.
    std::string points;
    double firstX = -1, lastX = -1;
    int column = -1;
    double columnMax = 0, columnX = 0;
    auto flush = [&]() {
        if (column < 0) return;
        points += Num(columnX) + "," + Num(yOf(columnMax)) + " ";
        if (firstX < 0) firstX = columnX;
        lastX = columnX;
    };
    for (int k = 1; k < bins; ++k) {
        double f = k * binWidth;
        if (f < fMin) continue;
        double x = xOf(f);
        int col = static_cast<int>(std::floor(x));
        double level = levelsDb[static_cast<size_t>(k)];
        if (col != column) {
            flush();
            column = col;
            columnMax = level;
            columnX = x;
        } else {
            columnMax = std::max(columnMax, level);
        }
    }
    flush();
    if (firstX >= 0) {
        svg += "<clipPath id=\"plot-area\"><rect x=\"" + Num(left) + "\" y=\"" + Num(top) + "\" width=\"" + Num(plotW) +
               "\" height=\"" + Num(plotH) + "\"/></clipPath>\n";
        svg += "<g clip-path=\"url(#plot-area)\">\n";
        svg += "<polygon fill=\"#2a6fdb\" fill-opacity=\"0.15\" stroke=\"none\" points=\"" + Num(firstX) + "," +
               Num(top + plotH) + " " + points + Num(lastX) + "," + Num(top + plotH) + "\"/>\n";
        svg += "<polyline id=\"spectrum\" fill=\"none\" stroke=\"#1c4fa8\" stroke-width=\"1.3\" stroke-linejoin=\"round\" points=\"" +
               points + "\"/>\n";
        svg += "</g>\n";
    }

    // Peaks: numbered markers on the curve and a table in the upper right corner.
    if (!peaks.empty()) {
        svg += "<g id=\"peaks\" font-size=\"12\">\n";
        for (size_t i = 0; i < peaks.size(); ++i) {
            const Peak& p = peaks[i];
            if (p.frequency < fMin || p.frequency > fMax) continue;
            double x = xOf(p.frequency), y = yOf(p.level);
            svg += "<circle cx=\"" + Num(x) + "\" cy=\"" + Num(y) + "\" r=\"4\" fill=\"#d62728\"/>\n";
            svg += "<text x=\"" + Num(x) + "\" y=\"" + Num(y - 8) + "\" text-anchor=\"middle\" fill=\"#d62728\" font-weight=\"bold\">" +
                   std::to_string(i + 1) + "</text>\n";
        }
        const double boxW = panelW - 14, lineH = 17, boxH = 26 + lineH * static_cast<double>(peaks.size());
        const double bx = left + plotW + 14, by = top;
        svg += "<rect x=\"" + Num(bx) + "\" y=\"" + Num(by) + "\" width=\"" + Num(boxW) + "\" height=\"" + Num(boxH) +
               "\" fill=\"#ffffff\" stroke=\"#999\"/>\n";
        svg += "<text x=\"" + Num(bx + 10) + "\" y=\"" + Num(by + 17) + "\" font-weight=\"bold\" fill=\"#222\">Peaks</text>\n";
        for (size_t i = 0; i < peaks.size(); ++i) {
            char line[96];
            const double y = by + 19 + lineH * static_cast<double>(i + 1);
            std::snprintf(line, sizeof line, "%.1f Hz", peaks[i].frequency);
            svg += "<text x=\"" + Num(bx + 10) + "\" y=\"" + Num(y) + "\" fill=\"#d62728\" font-weight=\"bold\">" +
                   std::to_string(i + 1) + "</text>\n";
            svg += "<text x=\"" + Num(bx + 98) + "\" y=\"" + Num(y) + "\" fill=\"#222\" text-anchor=\"end\">" +
                   XmlEscape(line) + "</text>\n";
            std::snprintf(line, sizeof line, "%.1f dB", peaks[i].level);
            svg += "<text x=\"" + Num(bx + boxW - 10) + "\" y=\"" + Num(y) + "\" fill=\"#222\" text-anchor=\"end\">" +
                   XmlEscape(line) + "</text>\n";
        }
        svg += "</g>\n";
    }

    svg += "<rect x=\"" + Num(left) + "\" y=\"" + Num(top) + "\" width=\"" + Num(plotW) + "\" height=\"" + Num(plotH) +
           "\" fill=\"none\" stroke=\"#333\" stroke-width=\"1\"/>\n";
    svg += "<text x=\"" + Num(left + plotW / 2) + "\" y=\"" + Num(H - 12) +
           "\" font-size=\"13\" text-anchor=\"middle\" fill=\"#222\">Frequency (Hz)</text>\n";
    svg += "<text transform=\"translate(18," + Num(top + plotH / 2) +
           ") rotate(-90)\" font-size=\"13\" text-anchor=\"middle\" fill=\"#222\">Level (dB re full-scale sine)</text>\n";
    svg += "</svg>\n";
    return svg;
}

}  // namespace spectrum
}  // namespace sonvex
