// The example effect engine's signal path, parameters and factory programs, free of COM:
// input trim, a 13-band stereo-linked equaliser, a soft-clipping drive and an output gain,
// with an optional automatic gain that keeps the output level near the input level.
//
// Every parameter is a float in 0..1 mapped to its unit here; the COM object in
// engine_object.cpp only validates, translates and locks.
#pragma once
#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace example_engine {

constexpr int kParameterCount = 69;
constexpr int kBandCount = 13;
constexpr int kValuesPerBand = 5;
constexpr int kMaxChannels = 8;

// Global parameters come first, the bands follow (band b, field k at kFirstBand + 5b + k).
enum GlobalParameter : int {
    kOutputGain = 0,  // -24..+24 dB
    kDrive = 1,       // 0..36 dB into the soft clipper; 0 switches the clipper off
    kInputGain = 2,   // -24..+24 dB before the equaliser
    kAutoGain = 3,    // off/on: the output gain follows the level difference
    kFirstBand = 4,
};
enum BandField : int { kBandOn = 0, kBandType = 1, kBandFrequency = 2, kBandGain = 3, kBandQ = 4 };

enum class BandType : int { Peak = 0, LowShelf, HighShelf, LowCut, HighCut };
constexpr int kBandTypeCount = 5;

constexpr int bandParameter(int band, int field) { return kFirstBand + band * kValuesPerBand + field; }

using ParameterValues = std::array<float, kParameterCount>;

// Mapping of 0..1 values to units (and back where programs are written in units).
double gainDbFromValue(float value);        // -24..+24
float valueFromGainDb(double db);
double driveDbFromValue(float value);       // 0..36
double bandFrequencyFromValue(float value); // 20 Hz .. 20 kHz, logarithmic
float valueFromBandFrequency(double hz);
double bandGainDbFromValue(float value);    // -18..+18
float valueFromBandGainDb(double db);
double bandQFromValue(float value);         // 0.1 .. 10, logarithmic, 0.5 gives 1
float valueFromBandQ(double q);
BandType bandTypeFromValue(float value);
float valueFromBandType(BandType type);

// Names, unit labels and value texts, plain ASCII.
std::string parameterName(int index);
std::string parameterLabel(int index);
std::string parameterDisplay(int index, float value);

struct FactoryProgram {
    const char* name;
    ParameterValues values;
};
// The engine's own programs; program 0 is neutral (the output equals the input).
const std::vector<FactoryProgram>& factoryPrograms();
// The first factory program whose values are exactly these, or -1 once any value has left
// them all: a program loaded by the host arrives as values, not as a program number.
int matchingFactoryProgram(const ParameterValues& values);
ParameterValues neutralValues();

// Second-order section, transposed direct form II, coefficients normalised by a0.
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};
Biquad designBand(BandType type, double frequency, double gainDb, double q, double sampleRate);

// The running engine: values, format, filter states.
class EngineCore {
public:
    EngineCore();

    // Sample rate in Hz (> 0) and 0..8 channels; false leaves everything as it was.
    bool setFormat(int sampleRate, int channels);
    int sampleRate() const { return m_sampleRate; }
    int channels() const { return m_channels; }

    float value(int index) const { return m_values[(size_t)index]; }
    const ParameterValues& values() const { return m_values; }
    // Stores the value clamped to 0..1; false for an index outside 0..68 or a NaN.
    bool setValue(int index, float value);
    void loadValues(const ParameterValues& values);

    // Processes `count` interleaved values (frames x channels) from in to out (which may be the
    // same buffer). A trailing partial frame is copied unchanged. Returns true when the
    // automatic gain moved the output gain parameter.
    bool process(const float* in, float* out, size_t count);

    // Clears the filter states (format change, program load).
    void reset();

private:
    void updateCoefficients();

    ParameterValues m_values;
    int m_sampleRate = 44100;
    int m_channels = 2;
    bool m_dirty = true;

    // Coefficients of the bands that change the signal, in band order.
    std::array<Biquad, kBandCount> m_active;
    std::array<int, kBandCount> m_activeBand{};  // which band each active section is (its state)
    int m_activeCount = 0;
    double m_inputGain = 1, m_outputGain = 1, m_driveGain = 1;
    bool m_driveOn = false, m_autoGainOn = false;
    // state[channel][band] = {s1, s2}
    std::array<std::array<std::array<double, 2>, kBandCount>, kMaxChannels> m_state{};
};

}  // namespace example_engine
