// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/quality/Upmixers.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "host/soundfiles/SoundFile.h"
#include "host/spectral/UpmixStream.h"

namespace quorveil::quality {

namespace {

namespace fs = std::filesystem;

void writeStereo(const std::string& path, const TestSignal& signal) {
    host::OutputFormat format;  // WAV, 32-bit float
    host::SoundFileWriter writer(path, format, 2, static_cast<int32_t>(kSampleRate));
    std::vector<float> interleaved(2 * signal.left.size());
    for (std::size_t i = 0; i < signal.left.size(); ++i) {
        interleaved[2 * i] = signal.left[i];
        interleaved[2 * i + 1] = signal.right[i];
    }
    writer.write(interleaved.data(), static_cast<int64_t>(signal.left.size()));
    writer.commit();
}

Surround readSurround(const std::string& path) {
    host::SoundFileReader reader(path);
    if (reader.channels() != kChannels) {
        throw std::runtime_error(path + " has " + std::to_string(reader.channels()) +
                                 " channels, not 6");
    }
    std::vector<float> interleaved(static_cast<std::size_t>(reader.frames()) * kChannels);
    const auto frames = static_cast<std::size_t>(reader.read(interleaved.data(), reader.frames()));
    Surround out;
    for (std::size_t c = 0; c < kChannels; ++c) {
        out[c].resize(frames);
        for (std::size_t i = 0; i < frames; ++i) out[c][i] = interleaved[i * kChannels + c];
    }
    return out;
}

// Runs `command` with {in} and {out} replaced by files in `scratch`.
Surround throughFiles(const std::string& command, const TestSignal& signal,
                      const std::string& scratch) {
    const std::string in = (fs::path(scratch) / "quality-in.wav").string();
    const std::string out = (fs::path(scratch) / "quality-out.wav").string();
    writeStereo(in, signal);
    std::string line = command;
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"{in}", in}, {"{out}", out}}) {
        for (std::size_t at = line.find(key); at != std::string::npos; at = line.find(key)) {
            line.replace(at, key.size(), "'" + value + "'");
        }
    }
    if (std::system(line.c_str()) != 0) throw std::runtime_error("failed: " + line);
    Surround result = readSurround(out);
    fs::remove(in);
    fs::remove(out);
    return result;
}

}  // namespace

Upmixer engineUpmixer(const host::PluginLibrary& library, const std::string& name,
                      const spectral::UpmixControls& controls,
                      std::vector<host::ParameterAssignment> settings) {
    Upmixer upmixer;
    upmixer.name = name;
    upmixer.run = [&library, controls, settings](const TestSignal& signal, const RunSettings& run) {
        spectral::UpmixSetup setup;
        setup.sampleRate = kSampleRate;
        setup.settings = settings;
        setup.controls = controls;
        if (run.rearDelayZero) setup.controls.rearDelayMs = 0.0;
        if (run.lfe120) setup.controls.lfeCutoffHz = 120.0;
        spectral::UpmixEngine engine(library, setup);
        std::vector<std::vector<float>> channels;
        spectral::upmixBuffers(engine, signal.left.data(), signal.right.data(), signal.left.size(),
                               channels);
        Surround out;
        for (std::size_t c = 0; c < out.size() && c < channels.size(); ++c) out[c] = std::move(channels[c]);
        return out;
    };
    return upmixer;
}

bool ffmpegInstalled() { return std::system("ffmpeg -version > /dev/null 2>&1") == 0; }

namespace {

// FFmpeg's output trails its input by a latency it does not trim; the
// signal goes in with this much silence after it, so nothing is lost.
constexpr std::size_t kLatencyRoom = 16384;

TestSignal withSilenceAfter(const TestSignal& signal, std::size_t samples) {
    TestSignal padded = signal;
    padded.left.resize(signal.left.size() + samples, 0.0f);
    padded.right.resize(signal.right.size() + samples, 0.0f);
    return padded;
}

// The output from `latency` samples on, `length` of them.
Surround advanced(const Surround& out, std::size_t latency, std::size_t length) {
    Surround aligned;
    for (std::size_t c = 0; c < kChannels; ++c) {
        aligned[c].assign(length, 0.0f);
        for (std::size_t i = 0; i < length && latency + i < out[c].size(); ++i) aligned[c][i] = out[c][latency + i];
    }
    return aligned;
}

// Where a centred click comes out: the sample of the largest output power
// (all channels) against the click's own.
std::size_t latencyOf(const std::string& command, const std::string& scratch) {
    constexpr std::size_t kClick = 22050;
    TestSignal click;
    click.name = "click";
    click.left.assign(2 * kClick, 0.0f);
    click.left[kClick] = 0.5f;
    click.right = click.left;
    const Surround out = throughFiles(command, withSilenceAfter(click, kLatencyRoom), scratch);
    std::size_t loudest = 0;
    double largest = -1.0;
    for (std::size_t i = 0; i < out[FL].size(); ++i) {
        double power = 0.0;
        for (const std::vector<float>& channel : out) power += static_cast<double>(channel[i]) * channel[i];
        if (power > largest) {
            largest = power;
            loudest = i;
        }
    }
    if (loudest < kClick || loudest - kClick >= kLatencyRoom) {
        throw std::runtime_error("cannot tell FFmpeg's latency: a click came out at sample " +
                                 std::to_string(loudest) + ", went in at " + std::to_string(kClick));
    }
    return loudest - kClick;
}

}  // namespace

Upmixer ffmpegUpmixer(const std::string& scratch) {
    const std::string command =
        "ffmpeg -nostdin -v error -y -i {in} -af "
        "surround=win_size=2048:overlap=0.75 -c:a pcm_f32le {out}";
    const std::size_t latency = latencyOf(command, scratch);
    Upmixer upmixer;
    upmixer.name = "ffmpeg";
    upmixer.hasRearDelay = false;
    upmixer.hasLfeCutoff = false;
    upmixer.run = [scratch, command, latency](const TestSignal& signal, const RunSettings&) {
        return advanced(throughFiles(command, withSilenceAfter(signal, kLatencyRoom), scratch), latency,
                        signal.left.size());
    };
    return upmixer;
}

Upmixer hostUpmixer(const std::string& host, const std::string& method, const std::string& args,
                    const std::string& scratch) {
    Upmixer upmixer;
    upmixer.name = "host " + method;
    upmixer.hasRearDelay = false;
    upmixer.run = [=](const TestSignal& signal, const RunSettings& run) {
        return throughFiles("'" + host + "' -q upmix {in} {out} --method " + method + " " + args +
                                (run.lfe120 ? " --lfe-cutoff 120" : ""),
                            signal, scratch);
    };
    return upmixer;
}

std::vector<QualityRow> measureAll(const Upmixer& upmixer, const std::vector<TestSignal>& signals,
                                   bool everywhere) {
    std::vector<QualityRow> rows;
    for (const TestSignal& signal : signals) {
        const bool named = signal.kind == SignalKind::Dialogue || signal.kind == SignalKind::Demo;
        const bool downmix = everywhere || named;
        const bool lfe = everywhere || named || (signal.kind == SignalKind::Panned && signal.pan == 0.0);
        const Surround plain = upmixer.run(signal, {});
        const Surround noDelay =
            upmixer.hasRearDelay && downmix ? upmixer.run(signal, {true, false}) : plain;
        const Surround withLfe =
            upmixer.hasLfeCutoff && lfe ? upmixer.run(signal, {false, true}) : plain;
        QualityRow row = measure(signal, plain, noDelay, lfe ? &withLfe : nullptr);
        if (!downmix) row.downmixDb = NAN;
        rows.push_back(row);
    }
    return rows;
}

}  // namespace quorveil::quality
