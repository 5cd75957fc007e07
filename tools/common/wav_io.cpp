#include "tools/common/wav_io.h"

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>

#include "common/text/text_conversion.h"
#endif

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the WAV code reads and writes little-endian samples directly"
#endif

namespace sonvex {
namespace wav {

namespace {

// Tail shared by every WAVE_FORMAT_EXTENSIBLE subformat GUID of the form {tag-0000-0010-8000-00AA00389B71}.
const unsigned char kSubformatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                          0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t ReadU16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t ReadU32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void PutU16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void PutU32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

int Seek64(std::FILE* f, uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(f, static_cast<__int64>(offset), SEEK_SET);
#else
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET);
#endif
}

bool FileSize(std::FILE* f, uint64_t* size) {
#ifdef _WIN32
    if (_fseeki64(f, 0, SEEK_END) != 0) return false;
    __int64 end = _ftelli64(f);
#else
    if (fseeko(f, 0, SEEK_END) != 0) return false;
    off_t end = ftello(f);
#endif
    if (end < 0) return false;
    *size = static_cast<uint64_t>(end);
    return Seek64(f, 0) == 0;
}

std::string FourCC(const unsigned char* id) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        unsigned char c = id[i];
        if (c >= 0x20 && c < 0x7F) {
            s += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            s += hex;
        }
    }
    return s;
}

[[noreturn]] void Fail(const std::string& path, const std::string& what) {
    throw WavError(path + ": " + what);
}

}  // namespace

uint32_t DefaultSpeakerMask(int channels) {
    switch (channels) {
        case 1: return 0x4;     // front centre
        case 2: return 0x3;     // front left, front right
        case 6: return 0x3F;    // 5.1: FL FR FC LFE, back pair
        case 8: return 0x63F;   // 7.1: FL FR FC LFE, back pair, side pair
        default: return 0;      // positions not assigned
    }
}

const char* EncodingName(SampleEncoding encoding) {
    switch (encoding) {
        case SampleEncoding::Pcm16: return "16-bit PCM";
        case SampleEncoding::Pcm24: return "24-bit PCM";
        case SampleEncoding::Pcm32: return "32-bit PCM";
        case SampleEncoding::Float32: return "32-bit float";
    }
    return "?";
}

#ifdef _WIN32
namespace {
// A name that is not valid UTF-8 names no file.
std::wstring Widen(const std::string& s) { return text::ToWide(s, CP_UTF8, MB_ERR_INVALID_CHARS); }
}  // namespace
#endif

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) {
#ifdef _WIN32
    std::wstring wpath = Widen(path), wmode = Widen(mode);
    if (wpath.empty()) {
        errno = ENOENT;
        return nullptr;
    }
    return _wfopen(wpath.c_str(), wmode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

bool RemoveFileUtf8(const std::string& path) {
#ifdef _WIN32
    std::wstring w = Widen(path);
    return !w.empty() && DeleteFileW(w.c_str()) != 0;
#else
    return std::remove(path.c_str()) == 0;
#endif
}

bool ReplaceFileUtf8(const std::string& from, const std::string& to) {
#ifdef _WIN32
    std::wstring wf = Widen(from), wt = Widen(to);
    return !wf.empty() && !wt.empty() &&
           MoveFileExW(wf.c_str(), wt.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

// ---------------------------------------------------------------------------------------------
// Reader

WavReader::~WavReader() {
    Close();
    std::free(m_pRaw);
}

void WavReader::Close() {
    if (m_pFile) std::fclose(m_pFile);
    m_pFile = nullptr;
}

void WavReader::Open(const std::string& path) {
    Close();
    std::FILE* f = OpenFileUtf8(path, "rb");
    if (!f) Fail(path, std::string("cannot open: ") + std::strerror(errno));
    OpenStream(f, path);
}

void WavReader::OpenStream(std::FILE* f, const std::string& path) {
    Close();
    m_pFile = f;
    m_Path = path;
    m_Warning.clear();
    m_Format = WavFormat();
    m_nFrames = m_nFramesRead = 0;

    uint64_t fileSize = 0;
    if (!FileSize(f, &fileSize)) Fail(path, "cannot determine the file size");

    unsigned char header[12];
    if (fileSize < 12 || std::fread(header, 1, 12, f) != 12)
        Fail(path, "not a WAV file: shorter than a RIFF header (" + std::to_string(fileSize) + " bytes)");
    if (std::memcmp(header, "RIFF", 4) != 0) {
        if (std::memcmp(header, "RF64", 4) == 0 || std::memcmp(header, "RIFX", 4) == 0)
            Fail(path, "unsupported container " + FourCC(header) + " (only little-endian RIFF is read)");
        Fail(path, "not a WAV file: no RIFF header");
    }
    if (std::memcmp(header + 8, "WAVE", 4) != 0)
        Fail(path, "not a WAV file: RIFF form is '" + FourCC(header + 8) + "', not 'WAVE'");
    uint32_t riffSize = ReadU32(header + 4);
    if (riffSize < 4) Fail(path, "RIFF size " + std::to_string(riffSize) + " is too small");
    // Trailing bytes after the RIFF form are not part of it; a RIFF size beyond the end of the
    // file is left to the chunk checks below, which name the chunk that is cut short.
    uint64_t limit = std::min<uint64_t>(fileSize, 8ull + riffSize);

    bool haveFmt = false, haveData = false;
    unsigned char fmt[40] = {};
    uint32_t fmtSize = 0;
    uint64_t dataOffset = 0, dataSize = 0;
    uint64_t pos = 12;
    while (pos + 8 <= limit) {
        unsigned char chunk[8];
        if (Seek64(f, pos) != 0 || std::fread(chunk, 1, 8, f) != 8) Fail(path, "read error in the chunk list");
        uint32_t size = ReadU32(chunk + 4);
        uint64_t body = pos + 8;
        if (body + size > limit) {
            // A data chunk whose size was never filled in (or whose file was cut short) still
            // holds the samples that are there; any other chunk cut short is a damaged file.
            if (std::memcmp(chunk, "data", 4) != 0 || haveData)
                Fail(path, "chunk '" + FourCC(chunk) + "' claims " + std::to_string(size) + " bytes but only " +
                               std::to_string(limit - body) + " remain in the file");
            m_Warning = path + ": the data chunk claims " + std::to_string(size) + " bytes but the file holds only " +
                        std::to_string(limit - body) + "; reading those";
            size = static_cast<uint32_t>(limit - body);
        }
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (haveFmt) Fail(path, "more than one fmt chunk");
            if (size < 16) Fail(path, "fmt chunk of " + std::to_string(size) + " bytes is too short (16 needed)");
            fmtSize = size;
            size_t want = std::min<size_t>(size, sizeof fmt);
            if (std::fread(fmt, 1, want, f) != want) Fail(path, "read error in the fmt chunk");
            haveFmt = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (haveData) Fail(path, "more than one data chunk");
            dataOffset = body;
            dataSize = size;
            haveData = true;
        }
        pos = body + size + (size & 1u);  // chunks start on even offsets
    }
    if (!haveFmt) Fail(path, "no fmt chunk");
    if (!haveData) Fail(path, "no data chunk");

    WavFormat fm;
    fm.formatTag = ReadU16(fmt);
    fm.channels = ReadU16(fmt + 2);
    fm.sampleRate = ReadU32(fmt + 4);
    fm.blockAlign = ReadU16(fmt + 12);
    fm.bitsPerSample = ReadU16(fmt + 14);
    uint16_t tag = fm.formatTag;
    if (tag == kFormatExtensible) {
        if (fmtSize < 40) Fail(path, "extensible fmt chunk of " + std::to_string(fmtSize) + " bytes is too short (40 needed)");
        uint16_t extra = ReadU16(fmt + 16);
        if (extra < 22) Fail(path, "extensible fmt chunk carries " + std::to_string(extra) + " extra bytes (22 needed)");
        uint16_t validBits = ReadU16(fmt + 18);
        fm.channelMask = ReadU32(fmt + 20);
        if (std::memcmp(fmt + 26, kSubformatTail, sizeof kSubformatTail) != 0)
            Fail(path, "unsupported extensible subformat (integer PCM and IEEE float are read)");
        tag = ReadU16(fmt + 24);
        if (validBits > fm.bitsPerSample)
            Fail(path, std::to_string(validBits) + " valid bits do not fit " + std::to_string(fm.bitsPerSample) + "-bit samples");
    }
    if (fm.channels == 0) Fail(path, "zero channels");
    if (fm.channels > kMaxChannels)
        Fail(path, std::to_string(fm.channels) + " channels (at most " + std::to_string(kMaxChannels) + " are supported)");
    if (fm.sampleRate == 0) Fail(path, "sample rate 0");
    if (tag == kFormatPcm) {
        switch (fm.bitsPerSample) {
            case 16: fm.encoding = SampleEncoding::Pcm16; break;
            case 24: fm.encoding = SampleEncoding::Pcm24; break;
            case 32: fm.encoding = SampleEncoding::Pcm32; break;
            default:
                Fail(path, "unsupported PCM sample size of " + std::to_string(fm.bitsPerSample) +
                               " bits (16, 24 and 32 are read)");
        }
    } else if (tag == kFormatIeeeFloat) {
        if (fm.bitsPerSample != 32)
            Fail(path, "unsupported float sample size of " + std::to_string(fm.bitsPerSample) + " bits (32 is read)");
        fm.encoding = SampleEncoding::Float32;
    } else {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%04X", tag);
        Fail(path, std::string("unsupported format tag ") + hex + " (integer PCM and IEEE float are read)");
    }
    uint32_t frameBytes = uint32_t(fm.channels) * (fm.bitsPerSample / 8u);
    if (fm.blockAlign != frameBytes)
        Fail(path, "block alignment " + std::to_string(fm.blockAlign) + " does not match " +
                       std::to_string(fm.channels) + " channels of " + std::to_string(fm.bitsPerSample) + " bits");

    m_Format = fm;
    m_nDataOffset = dataOffset;
    // A trailing partial frame carries no whole sample set and is not read.
    m_nFrames = dataSize / fm.blockAlign;
    if (Seek64(f, m_nDataOffset) != 0) Fail(path, "cannot seek to the data");
}

size_t WavReader::ReadFrames(float* dst, size_t frames) {
    if (!m_pFile) throw WavError("no WAV file open");
    uint64_t left = m_nFrames - m_nFramesRead;
    size_t n = static_cast<size_t>(std::min<uint64_t>(frames, left));
    if (n == 0) return 0;
    size_t bytes = n * m_Format.blockAlign;
    if (bytes > m_nRawCapacity) {
        void* p = std::realloc(m_pRaw, bytes);
        if (!p) Fail(m_Path, "out of memory");
        m_pRaw = static_cast<unsigned char*>(p);
        m_nRawCapacity = bytes;
    }
    if (std::fread(m_pRaw, 1, bytes, m_pFile) != bytes) Fail(m_Path, "the file ends inside its data chunk");
    size_t count = n * m_Format.channels;
    const unsigned char* p = m_pRaw;
    switch (m_Format.encoding) {
        case SampleEncoding::Pcm16:
            for (size_t i = 0; i < count; ++i, p += 2)
                dst[i] = static_cast<float>(static_cast<int16_t>(ReadU16(p))) * (1.0f / 32768.0f);
            break;
        case SampleEncoding::Pcm24:
            for (size_t i = 0; i < count; ++i, p += 3) {
                int32_t v = static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                                                 static_cast<uint32_t>(p[2]) << 24) >> 8;
                dst[i] = static_cast<float>(v) * (1.0f / 8388608.0f);
            }
            break;
        case SampleEncoding::Pcm32:
            for (size_t i = 0; i < count; ++i, p += 4)
                dst[i] = static_cast<float>(static_cast<int32_t>(ReadU32(p)) * (1.0 / 2147483648.0));
            break;
        case SampleEncoding::Float32:
            std::memcpy(dst, p, count * sizeof(float));
            break;
    }
    m_nFramesRead += n;
    return n;
}

WavData ReadWavFile(const std::string& path) {
    WavReader reader;
    reader.Open(path);
    WavData data;
    data.format = reader.Format();
    data.frames = reader.FrameCount();
    data.warning = reader.Warning();
    data.samples.resize(static_cast<size_t>(data.frames) * data.format.channels);
    size_t done = 0;
    while (done < data.frames) {
        size_t n = reader.ReadFrames(data.samples.data() + done * data.format.channels,
                                     static_cast<size_t>(data.frames) - done);
        if (n == 0) break;
        done += n;
    }
    return data;
}

// ---------------------------------------------------------------------------------------------
// Writer

int BytesPerSample(SampleEncoding encoding) {
    switch (encoding) {
        case SampleEncoding::Pcm16: return 2;
        case SampleEncoding::Pcm24: return 3;
        default: return 4;
    }
}

uint64_t MaxFrames(int channels, SampleEncoding encoding) {
    if (channels <= 0) return 0;
    // RIFF size = header bytes after "RIFF"+size, plus the data; 80 bytes covers the largest header.
    return (0xFFFFFFFFull - 80) / (static_cast<uint64_t>(BytesPerSample(encoding)) * static_cast<unsigned>(channels));
}

WavWriter::~WavWriter() { Abandon(); }

void WavWriter::Abandon() {
    if (m_pFile) {
        std::fclose(m_pFile);
        m_pFile = nullptr;
        RemoveFileUtf8(m_Path);
    }
}

void WavWriter::Create(const std::string& path, uint32_t sampleRate, int channels, SampleEncoding encoding,
                       uint32_t channelMask) {
    Abandon();
    if (channels < 1 || channels > kMaxChannels)
        throw WavError(path + ": cannot write " + std::to_string(channels) + " channels");
    if (sampleRate == 0) throw WavError(path + ": cannot write a sample rate of 0");
    if (static_cast<uint64_t>(sampleRate) * static_cast<uint64_t>(BytesPerSample(encoding) * channels) > 0xFFFFFFFFull)
        throw WavError(path + ": cannot write a sample rate of " + std::to_string(sampleRate) +
                       " Hz (its byte rate does not fit the header)");
    std::FILE* f = OpenFileUtf8(path, "wb");
    if (!f) throw WavError(path + ": cannot create: " + std::strerror(errno));
    m_pFile = f;
    m_Path = path;
    m_nChannels = channels;
    m_Encoding = encoding;
    m_nFrameBytes = static_cast<uint32_t>(BytesPerSample(encoding) * channels);
    m_nFrames = 0;

    const bool isFloat = encoding == SampleEncoding::Float32;
    const uint16_t baseTag = isFloat ? kFormatIeeeFloat : kFormatPcm;
    const uint32_t bits = 8u * static_cast<uint32_t>(BytesPerSample(encoding));
    unsigned char h[80] = {};
    std::memcpy(h, "RIFF", 4);
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, "fmt ", 4);
    if (channelMask == kDefaultMask) channelMask = DefaultSpeakerMask(channels);
    const bool extensible = channels > 2 || channelMask != DefaultSpeakerMask(channels);
    const uint32_t fmtSize = extensible ? 40 : (isFloat ? 18 : 16);
    PutU32(h + 16, fmtSize);
    unsigned char* fmt = h + 20;
    PutU16(fmt, extensible ? kFormatExtensible : baseTag);
    PutU16(fmt + 2, static_cast<uint32_t>(channels));
    PutU32(fmt + 4, sampleRate);
    PutU32(fmt + 8, sampleRate * m_nFrameBytes);
    PutU16(fmt + 12, m_nFrameBytes);
    PutU16(fmt + 14, bits);
    if (fmtSize >= 18) PutU16(fmt + 16, extensible ? 22 : 0);
    if (extensible) {
        PutU16(fmt + 18, bits);
        PutU32(fmt + 20, channelMask);
        PutU16(fmt + 24, baseTag);
        std::memcpy(fmt + 26, kSubformatTail, sizeof kSubformatTail);
    }
    size_t n = 20 + fmtSize;
    m_nFactOffset = 0;
    if (isFloat) {  // non-PCM data carries its frame count in a fact chunk
        std::memcpy(h + n, "fact", 4);
        PutU32(h + n + 4, 4);
        m_nFactOffset = static_cast<long>(n + 8);
        n += 12;
    }
    std::memcpy(h + n, "data", 4);
    m_nDataSizeOffset = static_cast<long>(n + 4);
    n += 8;
    m_nHeaderBytes = static_cast<uint32_t>(n);
    if (std::fwrite(h, 1, n, f) != n) {
        Abandon();
        throw WavError(path + ": write failed");
    }
}

void WavWriter::WriteFrames(const float* samples, size_t frames) {
    if (!m_pFile) throw WavError("no WAV file being written");
    if (frames == 0) return;
    if (m_nFrames + frames > MaxFrames(m_nChannels, m_Encoding))
        throw WavError(m_Path + ": the output would exceed the 4 GiB size limit of a WAV file");
    size_t count = frames * static_cast<size_t>(m_nChannels);
    bool ok;
    if (m_Encoding == SampleEncoding::Float32) {
        ok = std::fwrite(samples, sizeof(float), count, m_pFile) == count;
    } else {
        const int bytes = BytesPerSample(m_Encoding);
        const double full = m_Encoding == SampleEncoding::Pcm16 ? 32768.0
                          : m_Encoding == SampleEncoding::Pcm24 ? 8388608.0 : 2147483648.0;
        m_Staging.resize(count * static_cast<size_t>(bytes));
        unsigned char* p = m_Staging.data();
        for (size_t i = 0; i < count; ++i, p += bytes) {
            double v = std::nearbyint(static_cast<double>(samples[i]) * full);
            if (!(v >= -full)) v = -full;  // also catches NaN
            if (v > full - 1.0) v = full - 1.0;
            uint32_t u = static_cast<uint32_t>(static_cast<int32_t>(v));
            for (int b = 0; b < bytes; ++b) p[b] = static_cast<unsigned char>(u >> (8 * b));
        }
        ok = std::fwrite(m_Staging.data(), 1, m_Staging.size(), m_pFile) == m_Staging.size();
    }
    if (!ok) throw WavError(m_Path + ": write failed (disk full?)");
    m_nFrames += frames;
}

void WavWriter::Finish() {
    if (!m_pFile) throw WavError("no WAV file being written");
    uint64_t dataBytes = m_nFrames * m_nFrameBytes;
    unsigned char v[4];
    bool ok = true;
    PutU32(v, static_cast<uint32_t>(m_nHeaderBytes - 8 + dataBytes + (dataBytes & 1u)));
    ok = ok && std::fseek(m_pFile, 4, SEEK_SET) == 0 && std::fwrite(v, 1, 4, m_pFile) == 4;
    if (m_nFactOffset) {
        PutU32(v, static_cast<uint32_t>(m_nFrames));
        ok = ok && std::fseek(m_pFile, m_nFactOffset, SEEK_SET) == 0 && std::fwrite(v, 1, 4, m_pFile) == 4;
    }
    PutU32(v, static_cast<uint32_t>(dataBytes));
    ok = ok && std::fseek(m_pFile, m_nDataSizeOffset, SEEK_SET) == 0 && std::fwrite(v, 1, 4, m_pFile) == 4;
    if (dataBytes & 1u) {  // odd data (mono 24-bit, odd frame count) is padded to an even size
        ok = ok && std::fseek(m_pFile, 0, SEEK_END) == 0 && std::fputc(0, m_pFile) != EOF;
    }
    ok = ok && std::fflush(m_pFile) == 0;
    if (!ok) throw WavError(m_Path + ": write failed while finishing the header");
    int closed = std::fclose(m_pFile);
    m_pFile = nullptr;
    if (closed != 0) {
        RemoveFileUtf8(m_Path);
        throw WavError(m_Path + ": write failed while closing");
    }
}

}  // namespace wav
}  // namespace sonvex
