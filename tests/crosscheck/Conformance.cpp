// SPDX-License-Identifier: MIT
#include "tests/crosscheck/Conformance.h"

#include <cmath>
#include <cstring>
#include <istream>
#include <limits>
#include <memory>
#include <ostream>
#include <sstream>

#include "host/hosting/HostedInstance.h"
#include "host/hosting/ProcessBuffers.h"

namespace quorveil::host {

using namespace plogue::biduleSDK;

namespace {

// Blocks run at the defaults, and after each probe of a parameter.
constexpr int kBlocksAtDefaults = 4;
constexpr int kBlocksPerProbe = 2;
// Real parameters are probed at their minimum, these fractions of their
// range, and their maximum.
constexpr double kRangeFractions[] = {0.3, 0.7};
// What an output buffer holds before each block, so an unwritten value shows.
constexpr uint32_t kUnwrittenBits = 0x7fc0dead;
// The record of a module the library would not create.
constexpr const char* kRefused = "refused";

// A small, exact pseudo-random source: integer arithmetic only, so both
// targets draw the same numbers.
class Noise {
public:
    explicit Noise(uint32_t seed) : state_(seed * 2654435761u + 0x9e3779b9u) {}
    uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    // Uniform in [0, 1), on a grid of 2^-24: exact in a float.
    float unit() { return static_cast<float>(next() >> 8) * (1.0f / 16777216.0f); }

private:
    uint32_t state_;
};

std::string quoted(const std::string& text) {
    static const char* digits = "0123456789abcdef";
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c > 0x20 && c < 0x7f && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out + "\"";
}

void appendHex(std::string& line, uint64_t bits, int digits) {
    static const char* hex = "0123456789abcdef";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        line += hex[(bits >> shift) & 15];
    }
}

std::string floatToken(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    std::string token = "f";
    appendHex(token, bits, 8);
    return token;
}

std::string doubleToken(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    std::string token = "d";
    appendHex(token, bits, 16);
    return token;
}

float unwritten() {
    float value;
    std::memcpy(&value, &kUnwrittenBits, sizeof value);
    return value;
}

class Battery {
public:
    Battery(const PluginLibrary& library, std::ostream& out) : library_(library), out_(out) {}

    void run() {
        const auto rows = library_.modules();
        out_ << "modules " << rows.size() << '\n';
        for (const ModuleRow& row : rows) {
            out_ << "module " << row.index << ' ' << quoted(row.uniqueId) << ' ' << quoted(row.name)
                 << ' ' << quoted(row.categoryPath) << '\n';
            HostRecord probe{nullptr};
            PluginBlock* block = library_.newInstance(row.uniqueId.c_str(), &probe);
            if (block == nullptr) {
                out_ << kRefused << '\n';
                continue;
            }
            library_.deleteInstance(block);
            runModule(row);
        }
        out_ << "end\n";
    }

private:
    void runModule(const ModuleRow& row) {
        HostedInstance instance(library_, row.uniqueId);
        const EngineInfo engine = makeEngineInfo(kBatterySampleRate, kBatteryBlockSize,
                                                 kBatteryFftSize, kBatteryOverlap, kBatteryFrameCount);
        instance.setEngineInfo(engine);

        const PinCounts pins = instance.pinCounts();
        out_ << "pins " << pins.audioIn << ' ' << pins.audioOut << ' ' << pins.midiIn << ' '
             << pins.midiOut << ' ' << pins.frequencyIn << ' ' << pins.frequencyOut << ' '
             << pins.magnitudeIn << ' ' << pins.magnitudeOut << '\n';
        out_ << "flags " << instance.hasFlags(0) << ' ' << instance.hasFlags(1) << ' '
             << instance.hasFlags(-1) << '\n';
        writeNames("in", instance.inputPinNames());
        writeNames("out", instance.outputPinNames());

        const std::vector<ParameterInfo> parameters = instance.describeParameters();
        for (const ParameterInfo& info : parameters) {
            writeDescription(instance, info);
        }

        instance.start();
        writeCalls("start", instance);

        // As a host does with a fresh instance: every setting at its default.
        for (const ParameterInfo& info : parameters) {
            instance.setToDefault(info);
        }
        writeCalls("defaults", instance);

        ProcessBuffers buffers(pins, engine);
        Noise noise(static_cast<uint32_t>(row.index) + 1u);
        for (int b = 0; b < kBlocksAtDefaults; ++b) {
            runBlock(instance, buffers, noise);
        }

        for (const ParameterInfo& info : parameters) {
            for (const std::string& probe : probesOf(info)) {
                out_ << "set " << info.id << ' ' << probe << '\n';
                apply(instance, info, probe);
                writeCalls("changed", instance);
                for (int b = 0; b < kBlocksPerProbe; ++b) {
                    runBlock(instance, buffers, noise);
                }
                instance.hostEvent(DispatchOp::HostEvent20);
                writeCalls("event20", instance);
            }
            if (!probesOf(info).empty()) {
                out_ << "restore " << info.id << '\n';
                instance.setToDefault(info);
                writeCalls("changed", instance);
            }
        }

        instance.hostEvent(DispatchOp::HostEvent15);
        writeCalls("event15", instance);
        instance.hostEvent(DispatchOp::HostEvent16);
        writeCalls("event16", instance);
        instance.hostEvent(DispatchOp::HostEvent20);
        writeCalls("event20", instance);
        runBlock(instance, buffers, noise);
    }

    void writeNames(const char* side, const std::vector<std::string>& names) {
        out_ << "names " << side;
        for (const std::string& name : names) {
            out_ << ' ' << quoted(name);
        }
        out_ << '\n';
    }

    void writeDescription(HostedInstance& instance, const ParameterInfo& info) {
        out_ << "param " << info.id << ' ' << quoted(fieldText(info.name, sizeof info.name))
             << " kind " << info.kind << " style " << info.controlStyle << " switches "
             << info.switchA << ' ' << info.switchB;
        switch (static_cast<ParameterKind>(info.kind)) {
        case ParameterKind::Real:
            out_ << " default " << doubleToken(info.defaultValue) << " range "
                 << doubleToken(info.minimum) << ' ' << doubleToken(info.maximum) << " unit "
                 << quoted(fieldText(info.unit, sizeof info.unit)) << " format " << info.realFormat
                 << " option " << info.realOption << '\n';
            break;
        case ParameterKind::Integer:
        case ParameterKind::Choice:
            out_ << " default " << info.integerDefault.defaultInt << " choices "
                 << info.integerDefault.choiceCount << '\n';
            if (info.kind == static_cast<int32_t>(ParameterKind::Choice)) {
                writeNames("choices", instance.choiceList(info.id, info.integerDefault.choiceCount));
            }
            break;
        default:
            out_ << '\n';
            break;
        }
    }

    // The values a host would deliver for this parameter; indicators and text
    // items are the module's to write, not the host's.
    static std::vector<std::string> probesOf(const ParameterInfo& info) {
        std::vector<std::string> probes;
        if (info.kind == static_cast<int32_t>(ParameterKind::Real)) {
            probes.push_back(doubleToken(info.minimum));
            for (double fraction : kRangeFractions) {
                probes.push_back(doubleToken(info.minimum + (info.maximum - info.minimum) * fraction));
            }
            probes.push_back(doubleToken(info.maximum));
        } else if (info.kind == static_cast<int32_t>(ParameterKind::Choice)) {
            for (int32_t c = 0; c < info.integerDefault.choiceCount; ++c) {
                probes.push_back(std::to_string(c));
            }
        } else if (isHostSetting(info)) {  // a switch
            probes = {"0", "1"};
        }
        return probes;
    }

    static void apply(HostedInstance& instance, const ParameterInfo& info, const std::string& probe) {
        if (info.kind == static_cast<int32_t>(ParameterKind::Real)) {
            const uint64_t bits = std::stoull(probe.substr(1), nullptr, 16);
            double value;
            std::memcpy(&value, &bits, sizeof value);
            instance.setRealParameter(info.id, value);
        } else {
            instance.setIntParameter(info.id, std::stoi(probe));
        }
    }

    void writeCalls(const char* when, HostedInstance& instance) {
        for (const ServiceCall& call : instance.serviceLog()) {
            out_ << "call " << when << " op " << static_cast<int32_t>(call.op) << " id " << call.id;
            switch (call.op) {
            case HostOp::GetRealValue:
            case HostOp::SetRealValue:
                out_ << " real " << doubleToken(call.real);
                break;
            case HostOp::GetIntValue:
            case HostOp::SetIntValue:
            case HostOp::SetParameterEnabled:
                out_ << " int " << call.integer;
                break;
            case HostOp::GetTextValue:
            case HostOp::SetTextValue:
            case HostOp::SendTextBuffer:
            case HostOp::SendHostText:
                out_ << " text " << quoted(call.text);
                break;
            default:
                break;
            }
            out_ << '\n';
        }
        instance.clearServiceLog();
    }

    void fillInputs(ProcessBuffers& buffers, Noise& noise) {
        // Audio a little beyond full scale, so clipping paths run too.
        for (int32_t p = 0; p < buffers.audioIn.pinCount(); ++p) {
            float* samples = buffers.audioIn.pin(p);
            for (int32_t i = 0; i < buffers.audioIn.blockSize(); ++i) {
                samples[i] = (noise.unit() * 2.0f - 1.0f) * 1.25f;
            }
        }
        // Magnitudes in [0, 4): every 13th bin silent, every 7th bin equal on
        // the first two pins (a centred source).
        SpectralPinBuffers& magnitudes = buffers.magnitudeIn;
        for (int32_t p = 0; p < magnitudes.pinCount(); ++p) {
            for (int32_t f = 0; f < magnitudes.frameCount(); ++f) {
                float* bins = magnitudes.frame(p, f);
                for (int32_t k = 0; k < magnitudes.binCount(); ++k) {
                    const float value = noise.unit() * 4.0f;
                    bins[k] = k % 13 == 0 ? 0.0f : (p == 1 && k % 7 == 0 ? magnitudes.frame(0, f)[k] : value);
                }
            }
        }
        // Frequencies: each bin's centre frequency, moved by up to half a bin.
        const float binWidth = static_cast<float>(kBatterySampleRate / kBatteryFftSize);
        SpectralPinBuffers& frequencies = buffers.frequencyIn;
        for (int32_t p = 0; p < frequencies.pinCount(); ++p) {
            for (int32_t f = 0; f < frequencies.frameCount(); ++f) {
                float* bins = frequencies.frame(p, f);
                for (int32_t k = 0; k < frequencies.binCount(); ++k) {
                    bins[k] = static_cast<float>(k) * binWidth + (noise.unit() - 0.5f) * binWidth;
                }
            }
        }
    }

    void runBlock(HostedInstance& instance, ProcessBuffers& buffers, Noise& noise) {
        fillInputs(buffers, noise);
        const float sentinel = unwritten();
        buffers.audioOut.fill(sentinel);
        buffers.frequencyOut.fill(sentinel);
        buffers.magnitudeOut.fill(sentinel);
        instance.process(buffers);
        const uint64_t block = blocks_++;
        writeCalls("process", instance);

        std::string line;
        for (int32_t p = 0; p < buffers.audioOut.pinCount(); ++p) {
            line = "audio " + std::to_string(block) + ' ' + std::to_string(p);
            const float* samples = buffers.audioOut.pin(p);
            for (int32_t i = 0; i < buffers.audioOut.blockSize(); ++i) {
                line += ' ';
                line += floatToken(samples[i]);
            }
            out_ << line << '\n';
        }
        writeSpectral("frequency", block, buffers.frequencyOut);
        writeSpectral("magnitude", block, buffers.magnitudeOut);
    }

    void writeSpectral(const char* family, uint64_t block, const SpectralPinBuffers& pins) {
        std::string line;
        for (int32_t p = 0; p < pins.pinCount(); ++p) {
            for (int32_t f = 0; f < pins.frameCount(); ++f) {
                line = std::string(family) + ' ' + std::to_string(block) + ' ' + std::to_string(p) +
                       ' ' + std::to_string(f);
                const float* bins = pins.frame(p, f);
                for (int32_t k = 0; k < pins.binCount(); ++k) {
                    line += ' ';
                    line += floatToken(bins[k]);
                }
                out_ << line << '\n';
            }
        }
    }

    const PluginLibrary& library_;
    std::ostream& out_;
    uint64_t blocks_ = 0;
};

bool isHex(const std::string& token, std::size_t from) {
    for (std::size_t i = from; i < token.size(); ++i) {
        const char c = token[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

// 'f' for a float token, 'd' for a double token, 0 for anything else.
char valueKind(const std::string& token) {
    if (token.size() == 9 && token[0] == 'f' && isHex(token, 1)) {
        return 'f';
    }
    if (token.size() == 17 && token[0] == 'd' && isHex(token, 1)) {
        return 'd';
    }
    return 0;
}

std::vector<std::string> tokens(const std::string& line) {
    std::vector<std::string> result;
    std::istringstream stream(line);
    for (std::string token; stream >> token;) {
        result.push_back(token);
    }
    return result;
}

// The first tokens of a line up to its first value: where a difference is.
std::string headOf(const std::vector<std::string>& line) {
    std::string head;
    for (const std::string& token : line) {
        if (valueKind(token) != 0 || head.size() > 60) {
            break;
        }
        head += (head.empty() ? "" : " ") + token;
    }
    return head;
}

constexpr std::size_t kExamples = 12;

}  // namespace

void runBattery(const PluginLibrary& library, std::ostream& out) { Battery(library, out).run(); }

uint64_t ulpDistance32(uint32_t a, uint32_t b) {
    if (a == b) {
        return 0;
    }
    auto isNan = [](uint32_t bits) { return (bits & 0x7fffffffu) > 0x7f800000u; };
    if (isNan(a) || isNan(b)) {
        return std::numeric_limits<uint64_t>::max();
    }
    // Sign and magnitude onto one ordered line, where neighbours differ by 1.
    auto ordered = [](uint32_t bits) {
        const int64_t magnitude = bits & 0x7fffffffu;
        return (bits & 0x80000000u) != 0 ? -magnitude : magnitude;
    };
    const int64_t d = ordered(a) - ordered(b);
    return static_cast<uint64_t>(d < 0 ? -d : d);
}

uint64_t ulpDistance64(uint64_t a, uint64_t b) {
    if (a == b) {
        return 0;
    }
    constexpr uint64_t kMagnitude = 0x7fffffffffffffffull;
    auto isNan = [](uint64_t bits) { return (bits & kMagnitude) > 0x7ff0000000000000ull; };
    if (isNan(a) || isNan(b)) {
        return std::numeric_limits<uint64_t>::max();
    }
    const uint64_t ma = a & kMagnitude;
    const uint64_t mb = b & kMagnitude;
    if ((a >> 63) == (b >> 63)) {
        return ma > mb ? ma - mb : mb - ma;
    }
    // Opposite signs: the distance runs through zero.
    return ma > std::numeric_limits<uint64_t>::max() - mb ? std::numeric_limits<uint64_t>::max()
                                                          : ma + mb;
}

Comparison compareRecords(std::istream& expected, std::istream& actual) {
    Comparison result;
    auto note = [&result](const std::string& text) {
        if (result.examples.size() < kExamples) {
            result.examples.push_back(text);
        }
    };
    std::string left;
    std::string right;
    while (true) {
        const bool haveLeft = static_cast<bool>(std::getline(expected, left));
        const bool haveRight = static_cast<bool>(std::getline(actual, right));
        if (!haveLeft && !haveRight) {
            break;
        }
        ++result.lines;
        if (haveLeft != haveRight) {
            ++result.structural;
            note("line " + std::to_string(result.lines) + ": one record ends before the other");
            break;
        }
        if (left == kRefused || right == kRefused) {
            // A module of the table that neither side creates compares equal
            // and covers nothing: a refusal fails the cross-check.
            ++result.structural;
            note("line " + std::to_string(result.lines) + ": a module of the table was refused");
            continue;
        }
        if (left == right) {
            for (const std::string& token : tokens(left)) {
                result.values += valueKind(token) != 0 ? 1 : 0;
            }
            continue;
        }
        const auto a = tokens(left);
        const auto b = tokens(right);
        if (a.size() != b.size()) {
            ++result.structural;
            note("line " + std::to_string(result.lines) + " (" + headOf(a) + "): " +
                 std::to_string(a.size()) + " tokens against " + std::to_string(b.size()));
            continue;
        }
        for (std::size_t i = 0; i < a.size(); ++i) {
            const char kind = valueKind(a[i]);
            if (kind != 0 && valueKind(b[i]) == kind) {
                ++result.values;
                if (a[i] == b[i]) {
                    continue;
                }
                ++result.differing;
                const uint64_t bitsA = std::stoull(a[i].substr(1), nullptr, 16);
                const uint64_t bitsB = std::stoull(b[i].substr(1), nullptr, 16);
                const uint64_t ulps = kind == 'f'
                                          ? ulpDistance32(static_cast<uint32_t>(bitsA), static_cast<uint32_t>(bitsB))
                                          : ulpDistance64(bitsA, bitsB);
                if (ulps > 1) {
                    ++result.beyondOneUlp;
                }
                note("line " + std::to_string(result.lines) + " (" + headOf(a) + ") value " +
                     std::to_string(i) + ": " + a[i] + " against " + b[i] + ", " +
                     (ulps == std::numeric_limits<uint64_t>::max() ? std::string("NaN")
                                                                   : std::to_string(ulps) + " ulp"));
            } else if (a[i] != b[i]) {
                ++result.structural;
                note("line " + std::to_string(result.lines) + " (" + headOf(a) + "): '" + a[i] +
                     "' against '" + b[i] + "'");
            }
        }
    }
    return result;
}

}  // namespace quorveil::host
