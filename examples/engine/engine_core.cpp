#include "examples/engine/engine_core.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace example_engine {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMinFrequency = 20.0;
constexpr double kFrequencySpan = 1000.0;  // 20 Hz .. 20 kHz
constexpr double kMinQ = 0.1;
constexpr double kQSpan = 100.0;           // 0.1 .. 10

// Centres of the bands in a neutral program: roughly 2/3 octave apart over the audible range.
constexpr double kBandCentres[kBandCount] = {31.5, 50, 80, 125, 200, 315, 500, 800, 1250, 2000, 3150, 5000, 8000};

const char* const kBandTypeNames[kBandTypeCount] = {"Peak", "Lo Shelf", "Hi Shelf", "Lo Cut", "Hi Cut"};

float clampUnit(double v) { return (float)std::min(1.0, std::max(0.0, v)); }

bool isOn(float value) { return value >= 0.5f; }

std::string format(const char* pattern, double v) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, v);
    return text;
}

}  // namespace

double gainDbFromValue(float value) { return -24.0 + 48.0 * value; }
float valueFromGainDb(double db) { return clampUnit((db + 24.0) / 48.0); }
double driveDbFromValue(float value) { return 36.0 * value; }
double bandFrequencyFromValue(float value) { return kMinFrequency * std::pow(kFrequencySpan, (double)value); }
float valueFromBandFrequency(double hz) { return clampUnit(std::log(hz / kMinFrequency) / std::log(kFrequencySpan)); }
double bandGainDbFromValue(float value) { return -18.0 + 36.0 * value; }
float valueFromBandGainDb(double db) { return clampUnit((db + 18.0) / 36.0); }
double bandQFromValue(float value) { return kMinQ * std::pow(kQSpan, (double)value); }
float valueFromBandQ(double q) { return clampUnit(std::log(q / kMinQ) / std::log(kQSpan)); }

BandType bandTypeFromValue(float value) {
    int index = (int)std::lround(clampUnit(value) * (kBandTypeCount - 1));
    return (BandType)index;
}
float valueFromBandType(BandType type) { return (float)((int)type) / (float)(kBandTypeCount - 1); }

std::string parameterName(int index) {
    switch (index) {
    case kOutputGain: return "Output";
    case kDrive: return "Drive";
    case kInputGain: return "Input";
    case kAutoGain: return "AutoGain";
    default: break;
    }
    if (index < kFirstBand || index >= kParameterCount) return std::string();
    static const char* const fields[kValuesPerBand] = {"On", "Type", "Freq", "Gain", "Q"};
    int band = (index - kFirstBand) / kValuesPerBand, field = (index - kFirstBand) % kValuesPerBand;
    return "B" + std::to_string(band + 1) + " " + fields[field];
}

std::string parameterLabel(int index) {
    switch (index) {
    case kOutputGain:
    case kInputGain: return "dB";
    case kDrive: return "%";
    default: break;
    }
    if (index < kFirstBand || index >= kParameterCount) return std::string();
    switch ((index - kFirstBand) % kValuesPerBand) {
    case kBandFrequency: return "Hz";
    case kBandGain: return "dB";
    default: return std::string();
    }
}

std::string parameterDisplay(int index, float value) {
    switch (index) {
    case kOutputGain:
    case kInputGain: return format("%+.1f", gainDbFromValue(value));
    case kDrive: return format("%.0f", 100.0 * value);
    case kAutoGain: return isOn(value) ? "On" : "Off";
    default: break;
    }
    if (index < kFirstBand || index >= kParameterCount) return std::string();
    switch ((index - kFirstBand) % kValuesPerBand) {
    case kBandOn: return isOn(value) ? "On" : "Off";
    case kBandType: return kBandTypeNames[(int)bandTypeFromValue(value)];
    case kBandFrequency: {
        double hz = bandFrequencyFromValue(value);
        return hz < 1000.0 ? format("%.1f", hz) : format("%.2fk", hz / 1000.0);
    }
    case kBandGain: return format("%+.1f", bandGainDbFromValue(value));
    default: return format("%.2f", bandQFromValue(value));
    }
}

ParameterValues neutralValues() {
    ParameterValues v{};
    v[kOutputGain] = 0.5f;
    v[kDrive] = 0.0f;
    v[kInputGain] = 0.5f;
    v[kAutoGain] = 0.0f;
    for (int b = 0; b < kBandCount; ++b) {
        v[bandParameter(b, kBandOn)] = 1.0f;
        v[bandParameter(b, kBandType)] = valueFromBandType(BandType::Peak);
        v[bandParameter(b, kBandFrequency)] = valueFromBandFrequency(kBandCentres[b]);
        v[bandParameter(b, kBandGain)] = 0.5f;
        v[bandParameter(b, kBandQ)] = 0.5f;
    }
    return v;
}

namespace {
void setBand(ParameterValues& v, int band, BandType type, double hz, double gainDb, double q) {
    v[bandParameter(band, kBandOn)] = 1.0f;
    v[bandParameter(band, kBandType)] = valueFromBandType(type);
    v[bandParameter(band, kBandFrequency)] = valueFromBandFrequency(hz);
    v[bandParameter(band, kBandGain)] = valueFromBandGainDb(gainDb);
    v[bandParameter(band, kBandQ)] = valueFromBandQ(q);
}

std::vector<FactoryProgram> makeFactoryPrograms() {
    std::vector<FactoryProgram> programs;
    programs.push_back({"Flat", neutralValues()});

    ParameterValues warm = neutralValues();
    setBand(warm, 0, BandType::LowCut, 30, 0, 0.707);
    setBand(warm, 3, BandType::LowShelf, 150, 4, 0.707);
    setBand(warm, 12, BandType::HighCut, 9000, 0, 0.707);
    warm[kDrive] = 0.35f;
    warm[kOutputGain] = valueFromGainDb(-3);
    programs.push_back({"Warm Drive", warm});

    ParameterValues bright = neutralValues();
    setBand(bright, 10, BandType::Peak, 3150, 5, 1.4);
    setBand(bright, 12, BandType::HighShelf, 8000, 4, 0.707);
    programs.push_back({"Bright Presence", bright});

    ParameterValues phone = neutralValues();
    setBand(phone, 5, BandType::LowCut, 400, 0, 0.9);
    setBand(phone, 8, BandType::Peak, 1500, 6, 1.2);
    setBand(phone, 11, BandType::HighCut, 3000, 0, 0.9);
    phone[kDrive] = 0.2f;
    programs.push_back({"Telephone", phone});

    ParameterValues loud = neutralValues();
    setBand(loud, 2, BandType::LowShelf, 90, 5, 0.707);
    setBand(loud, 12, BandType::HighShelf, 7000, 3, 0.707);
    loud[kInputGain] = valueFromGainDb(9);
    loud[kDrive] = 0.25f;
    loud[kOutputGain] = valueFromGainDb(-1);
    programs.push_back({"Loud Master", loud});
    return programs;
}
}  // namespace

const std::vector<FactoryProgram>& factoryPrograms() {
    static const std::vector<FactoryProgram> programs = makeFactoryPrograms();
    return programs;
}

int matchingFactoryProgram(const ParameterValues& values) {
    const auto& programs = factoryPrograms();
    for (size_t i = 0; i < programs.size(); ++i)
        if (programs[i].values == values) return (int)i;
    return -1;
}

Biquad designBand(BandType type, double frequency, double gainDb, double q, double sampleRate) {
    // Keep the band below the Nyquist frequency whatever the rate, so the section stays stable.
    frequency = std::min(std::max(frequency, 1.0), 0.45 * sampleRate);
    q = std::max(q, 0.01);
    double w0 = 2.0 * kPi * frequency / sampleRate;
    double cosw = std::cos(w0), sinw = std::sin(w0);
    double alpha = sinw / (2.0 * q);
    double A = std::pow(10.0, gainDb / 40.0);
    double sqrtA2alpha = 2.0 * std::sqrt(A) * alpha;
    double b0, b1, b2, a0, a1, a2;
    switch (type) {
    case BandType::Peak:
        b0 = 1 + alpha * A; b1 = -2 * cosw; b2 = 1 - alpha * A;
        a0 = 1 + alpha / A; a1 = -2 * cosw; a2 = 1 - alpha / A;
        break;
    case BandType::LowShelf:
        b0 = A * ((A + 1) - (A - 1) * cosw + sqrtA2alpha);
        b1 = 2 * A * ((A - 1) - (A + 1) * cosw);
        b2 = A * ((A + 1) - (A - 1) * cosw - sqrtA2alpha);
        a0 = (A + 1) + (A - 1) * cosw + sqrtA2alpha;
        a1 = -2 * ((A - 1) + (A + 1) * cosw);
        a2 = (A + 1) + (A - 1) * cosw - sqrtA2alpha;
        break;
    case BandType::HighShelf:
        b0 = A * ((A + 1) + (A - 1) * cosw + sqrtA2alpha);
        b1 = -2 * A * ((A - 1) + (A + 1) * cosw);
        b2 = A * ((A + 1) + (A - 1) * cosw - sqrtA2alpha);
        a0 = (A + 1) - (A - 1) * cosw + sqrtA2alpha;
        a1 = 2 * ((A - 1) - (A + 1) * cosw);
        a2 = (A + 1) - (A - 1) * cosw - sqrtA2alpha;
        break;
    case BandType::LowCut:
        b0 = (1 + cosw) / 2; b1 = -(1 + cosw); b2 = (1 + cosw) / 2;
        a0 = 1 + alpha; a1 = -2 * cosw; a2 = 1 - alpha;
        break;
    case BandType::HighCut:
    default:
        b0 = (1 - cosw) / 2; b1 = 1 - cosw; b2 = (1 - cosw) / 2;
        a0 = 1 + alpha; a1 = -2 * cosw; a2 = 1 - alpha;
        break;
    }
    Biquad s;
    s.b0 = b0 / a0; s.b1 = b1 / a0; s.b2 = b2 / a0; s.a1 = a1 / a0; s.a2 = a2 / a0;
    return s;
}

EngineCore::EngineCore() : m_values(neutralValues()) {}

bool EngineCore::setFormat(int sampleRate, int channels) {
    if (sampleRate <= 0 || channels < 0 || channels > kMaxChannels) return false;
    if (sampleRate != m_sampleRate || channels != m_channels) {
        m_sampleRate = sampleRate;
        m_channels = channels;
        m_dirty = true;
        reset();
    }
    return true;
}

bool EngineCore::setValue(int index, float value) {
    if (index < 0 || index >= kParameterCount || std::isnan(value)) return false;
    m_values[(size_t)index] = clampUnit(value);
    m_dirty = true;
    return true;
}

void EngineCore::loadValues(const ParameterValues& values) {
    for (int i = 0; i < kParameterCount; ++i) setValue(i, values[(size_t)i]);
    reset();
}

void EngineCore::reset() {
    for (auto& channel : m_state)
        for (auto& band : channel) band = {0.0, 0.0};
}

void EngineCore::updateCoefficients() {
    m_inputGain = std::pow(10.0, gainDbFromValue(m_values[kInputGain]) / 20.0);
    m_outputGain = std::pow(10.0, gainDbFromValue(m_values[kOutputGain]) / 20.0);
    m_driveOn = m_values[kDrive] > 0.0f;
    m_driveGain = std::pow(10.0, driveDbFromValue(m_values[kDrive]) / 20.0);
    m_autoGainOn = isOn(m_values[kAutoGain]);
    // Bands that cannot change the signal (off, or a bell or shelf at 0 dB) are left out, so a
    // neutral program passes every sample through bit for bit.
    int count = 0;
    for (int b = 0; b < kBandCount; ++b) {
        if (!isOn(m_values[(size_t)bandParameter(b, kBandOn)])) continue;
        BandType type = bandTypeFromValue(m_values[(size_t)bandParameter(b, kBandType)]);
        double gainDb = bandGainDbFromValue(m_values[(size_t)bandParameter(b, kBandGain)]);
        bool cut = type == BandType::LowCut || type == BandType::HighCut;
        if (!cut && std::fabs(gainDb) < 1e-9) continue;
        m_activeBand[(size_t)count] = b;
        m_active[(size_t)count++] =
            designBand(type, bandFrequencyFromValue(m_values[(size_t)bandParameter(b, kBandFrequency)]), gainDb,
                       bandQFromValue(m_values[(size_t)bandParameter(b, kBandQ)]), (double)m_sampleRate);
    }
    m_activeCount = count;
    m_dirty = false;
}

bool EngineCore::process(const float* in, float* out, size_t count) {
    if (m_dirty) updateCoefficients();
    const size_t C = (size_t)m_channels;
    size_t frames = C ? count / C : 0;
    double sumIn = 0, sumShaped = 0;
    for (size_t f = 0; f < frames; ++f) {
        for (size_t c = 0; c < C; ++c) {
            double x = in[f * C + c];
            sumIn += x * x;
            double y = x * m_inputGain;
            auto& state = m_state[c];
            for (int k = 0; k < m_activeCount; ++k) {
                const Biquad& s = m_active[(size_t)k];
                auto& z = state[(size_t)m_activeBand[(size_t)k]];
                double v = s.b0 * y + z[0];
                z[0] = s.b1 * y - s.a1 * v + z[1];
                z[1] = s.b2 * y - s.a2 * v;
                y = v;
            }
            if (m_driveOn) y = std::tanh(m_driveGain * y);
            sumShaped += y * y;
            out[f * C + c] = (float)(y * m_outputGain);
        }
    }
    for (size_t k = frames * C; k < count; ++k) out[k] = in[k];

    if (!m_autoGainOn || frames == 0 || sumIn < 1e-12 || sumShaped < 1e-12) return false;
    // The output gain moves a tenth of the way toward the level difference per block and is
    // reported only when it moved audibly.
    double target = std::min(24.0, std::max(-24.0, 10.0 * std::log10(sumIn / sumShaped)));
    double current = gainDbFromValue(m_values[kOutputGain]);
    double next = current + 0.1 * (target - current);
    if (std::fabs(next - current) < 0.05) return false;
    m_values[kOutputGain] = valueFromGainDb(next);
    m_dirty = true;
    return true;
}

}  // namespace example_engine
