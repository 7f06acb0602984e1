// SPDX-License-Identifier: GPL-3.0-or-later
// surround-quality: the upmix's quality table for every method, with FFmpeg's
// `surround` filter beside it where ffmpeg is installed, the same measures on
// every speaker layout, and the ring pictures.
//
//   surround-quality [--suite static|motion|defaults|all] [--seconds S]
//                    [--library PATH] [--markdown] [--svg PATH]
//                    [--svg-layouts PATH] [--no-ffmpeg]
//                    [--host PATH [--host-args ARGS]]
//   surround-quality --write-stereo PATH [--minutes M]
//
// --suite picks what is measured (all by default): `static` the table of
// placed, diffuse and dialogue signals above, `motion` and `defaults` the
// scorecard (bench/quality/Scorecard.h); each for slice, arctan and cc,
// without and with --atf, and FFmpeg. The static suite ends with a row per
// speaker layout (3.0 to 7.1) for slice at default settings
// (LayoutQuality.h), whose ring picture --svg-layouts writes.
//
// --host measures another surround-host binary (an older build, say) through
// files, for each method, instead of this build's engine. --write-stereo
// writes a long stereo test file (a panned pink noise that sweeps the image
// over a decorrelated ambience) for timing runs.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/quality/LayoutQuality.h"
#include "bench/quality/QualityMetrics.h"
#include "bench/quality/RingPicture.h"
#include "bench/quality/Scorecard.h"
#include "bench/quality/TestSignals.h"
#include "bench/quality/TextTable.h"
#include "bench/quality/Upmixers.h"
#include "host/hosting/PluginLibrary.h"
#include "host/soundfiles/SoundFile.h"

namespace quorveil::quality {
namespace {

namespace fs = std::filesystem;

struct Options {
    double seconds = 8.0;
    std::string library;
    bool markdown = false;
    std::string svg;
    std::string svgLayouts;
    bool ffmpeg = true;
    std::string host, hostArgs;
    std::string writeStereo;
    double minutes = 10.0;
    bool staticSuite = true;
    ScorecardSuites scorecard;
};

std::string cell(double value, const char* pattern) {
    if (std::isnan(value)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::vector<std::string> header() {
    std::vector<std::string> h{"signal"};
    for (const char* name : kChannelNames) h.push_back(std::string(name) + " %");
    for (const char* name : {"out/in dB", "azimuth", "want", "downmix dB", "dialogue dB",
                             "LFE>200 dB", "peak dBFS"}) {
        h.push_back(name);
    }
    return h;
}

std::vector<std::string> cells(const QualityRow& row) {
    std::vector<std::string> c{row.signal};
    for (double share : row.share) c.push_back(cell(share, "%.1f"));
    c.push_back(cell(row.powerDb, "%+.2f"));
    c.push_back(cell(row.vector.azimuth, "%+.1f"));
    c.push_back(cell(row.expectedAzimuth, "%+.0f"));
    c.push_back(cell(row.downmixDb, "%.1f"));
    c.push_back(cell(row.dialogueDb, "%+.1f"));
    c.push_back(cell(row.lfeLeakDb, "%.1f"));
    c.push_back(cell(row.peakDb, "%+.1f"));
    return c;
}

void printTable(const std::string& title, const std::vector<QualityRow>& rows, bool markdown) {
    std::vector<std::vector<std::string>> lines{header()};
    for (const QualityRow& row : rows) lines.push_back(cells(row));
    std::printf("\n%s%s\n\n", markdown ? "#### " : "", title.c_str());
    printTextTable(lines, markdown, Columns::FiguresRight);
}

// The targets of the upmix, one line each, for every upmixer measured.
struct Target {
    const char* measure;
    const char* goal;
    std::string (*value)(const std::vector<QualityRow>& rows);
};

const QualityRow* rowNamed(const std::vector<QualityRow>& rows, const std::string& name) {
    for (const QualityRow& row : rows) {
        if (row.signal == name) return &row;
    }
    return nullptr;
}

double behind(const QualityRow& row) { return row.share[BL] + row.share[BR]; }

template <class Value>
double worstOver(const std::vector<QualityRow>& rows, const char* prefix, Value value) {
    double worst = -INFINITY;
    for (const QualityRow& row : rows) {
        if (row.signal.rfind(prefix, 0) == 0 && !std::isnan(value(row))) {
            worst = std::max(worst, value(row));
        }
    }
    return worst;
}

const Target kTargets[] = {
    {"dry pans: largest azimuth error (deg)", "<= 5",
     [](const std::vector<QualityRow>& rows) {
         return cell(worstOver(rows, "pan", [](const QualityRow& r) {
                         return std::fabs(r.vector.azimuth - r.expectedAzimuth);
                     }), "%.1f");
     }},
    {"dry pans: most in BL+BR (%)", "<= 5",
     [](const std::vector<QualityRow>& rows) { return cell(worstOver(rows, "pan", behind), "%.1f"); }},
    {"decorrelated: in BL+BR (%)", ">= 50",
     [](const std::vector<QualityRow>& rows) {
         return cell(behind(*rowNamed(rows, "decorrelated")), "%.1f");
     }},
    {"L = -R: out/in (dB); in BL+BR (%)", "+-1; >= 80",
     [](const std::vector<QualityRow>& rows) {
         const QualityRow& r = *rowNamed(rows, "L = -R");
         return cell(r.powerDb, "%+.1f") + "; " + cell(behind(r), "%.0f");
     }},
    {"out/in power, every signal (dB)", "+-1",
     [](const std::vector<QualityRow>& rows) {
         double low = INFINITY, high = -INFINITY;
         for (const QualityRow& r : rows) {
             low = std::min(low, r.powerDb);
             high = std::max(high, r.powerDb);
         }
         return cell(low, "%+.1f") + " to " + cell(high, "%+.1f");
     }},
    {"downmix error: dialogue; demo (dB)", "<= -15",
     [](const std::vector<QualityRow>& rows) {
         return cell(rowNamed(rows, "dialogue")->downmixDb, "%.1f") + "; " +
                cell(rowNamed(rows, "demo")->downmixDb, "%.1f");
     }},
    {"dialogue-to-rest in FC (dB)", ">= +15",
     [](const std::vector<QualityRow>& rows) {
         return cell(rowNamed(rows, "dialogue")->dialogueDb, "%+.1f");
     }},
    {"LFE above 200 Hz: noise; dialogue; demo (dB)", "<= -30",
     [](const std::vector<QualityRow>& rows) {
         return cell(rowNamed(rows, "pan +0.0")->lfeLeakDb, "%.0f") + "; " +
                cell(rowNamed(rows, "dialogue")->lfeLeakDb, "%.0f") + "; " +
                cell(rowNamed(rows, "demo")->lfeLeakDb, "%.0f");
     }},
    {"highest peak (dBFS)", "",
     [](const std::vector<QualityRow>& rows) {
         return cell(worstOver(rows, "", [](const QualityRow& r) { return r.peakDb; }), "%+.1f");
     }},
};

void printTargets(const std::vector<std::string>& names,
                  const std::vector<std::vector<QualityRow>>& results, bool markdown) {
    std::vector<std::string> head{"measure", "target"};
    head.insert(head.end(), names.begin(), names.end());
    std::vector<std::vector<std::string>> lines{head};
    for (const Target& target : kTargets) {
        std::vector<std::string> line{target.measure, target.goal};
        for (const auto& rows : results) line.push_back(target.value(rows));
        lines.push_back(line);
    }
    std::printf("\n%sTargets\n\n", markdown ? "#### " : "");
    printTextTable(lines, markdown, Columns::LeftAligned);
}

void writeLongStereo(const std::string& path, double minutes) {
    const std::size_t block = static_cast<std::size_t>(60.0 * kSampleRate);
    const std::vector<float> source = pinkNoise(block, 7), left = pinkNoise(block, 8),
                             right = pinkNoise(block, 9);
    std::vector<float> interleaved(2 * block);
    for (std::size_t i = 0; i < block; ++i) {
        const double theta = std::numbers::pi / 4.0 *
                             (1.0 + std::sin(2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(block)));
        interleaved[2 * i] = static_cast<float>(std::cos(theta) * source[i] + 0.3 * left[i]);
        interleaved[2 * i + 1] = static_cast<float>(std::sin(theta) * source[i] + 0.3 * right[i]);
    }
    host::SoundFileWriter writer(path, host::OutputFormat{}, 2, static_cast<int32_t>(kSampleRate));
    const auto total = static_cast<std::size_t>(minutes * 60.0 * kSampleRate);
    for (std::size_t done = 0; done < total; done += block) {
        writer.write(interleaved.data(), static_cast<int64_t>(std::min(block, total - done)));
    }
    writer.commit();
    std::printf("wrote %s: %.1f minutes of stereo at 44.1 kHz\n", path.c_str(), minutes);
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "surround-quality: %s wants a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--seconds") o.seconds = std::atof(next().c_str());
        else if (a == "--library") o.library = next();
        else if (a == "--markdown") o.markdown = true;
        else if (a == "--svg") o.svg = next();
        else if (a == "--svg-layouts") o.svgLayouts = next();
        else if (a == "--no-ffmpeg") o.ffmpeg = false;
        else if (a == "--host") o.host = next();
        else if (a == "--host-args") o.hostArgs = next();
        else if (a == "--write-stereo") o.writeStereo = next();
        else if (a == "--minutes") o.minutes = std::atof(next().c_str());
        else if (a == "--suite") {
            const std::string suite = next();
            if (suite != "static" && suite != "motion" && suite != "defaults" && suite != "all") {
                std::fprintf(stderr, "surround-quality: --suite wants static, motion, defaults or all\n");
                std::exit(2);
            }
            o.staticSuite = suite == "static" || suite == "all";
            o.scorecard = {suite == "motion" || suite == "all", suite == "defaults" || suite == "all"};
        }
        else {
            std::fprintf(stderr, "surround-quality: unknown option '%s'\n", a.c_str());
            std::exit(2);
        }
    }
    if (!(o.seconds >= 1.0 && o.seconds <= 600.0)) {
        std::fprintf(stderr, "surround-quality: --seconds wants 1 to 600\n");
        std::exit(2);
    }
    return o;
}

// Long enough for the averages to settle; the layouts' section stays short.
constexpr double kLayoutSeconds = 3.0;

std::vector<std::string> layoutCells(const LayoutRow& row) {
    return {row.layout->name,
            cell(row.worstAzimuthErrorDeg, "%.2f"),
            cell(row.worstPan, "%+.2f"),
            cell(row.dryOutsideFrontPercent, "%.1f"),
            cell(row.sidesPercent(row.decorrelatedShare), "%.1f"),
            cell(row.behindPercent(row.decorrelatedShare), "%.1f"),
            cell(row.sidesPercent(row.antiPhaseShare), "%.1f"),
            cell(row.behindPercent(row.antiPhaseShare), "%.1f"),
            cell(row.lowestPowerDb, "%+.1f") + " to " + cell(row.highestPowerDb, "%+.1f"),
            cell(row.foldDownDb, "%.1f"),
            cell(row.peakDb, "%+.1f")};
}

// Slice at default settings writing each layout: the table, and the ring
// picture when asked for.
void measureLayouts(const host::PluginLibrary& library, const Speech& speech, double seconds,
                    const Options& o) {
    const auto start = std::chrono::steady_clock::now();
    const LayoutSignals signals = layoutSignals(seconds, speech);
    std::vector<std::vector<std::string>> lines{
        {"layout", "azimuth error (deg)", "at pan", "dry pans outside front %",
         "decorrelated sides %", "decorrelated behind %", "L = -R sides %", "L = -R behind %",
         "out/in dB", "fold-down (band) dB", "peak (film) dBFS"}};
    std::vector<RingPanel> panels;
    for (const spectral::SpeakerLayout& layout : spectral::speakerLayouts()) {
        const LayoutRow row = measureLayout(library, layout, signals);
        lines.push_back(layoutCells(row));
        panels.push_back(layoutPanel(row));
    }
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("\n%sEvery layout: slice at default settings\n\n", o.markdown ? "#### " : "");
    std::printf("Pink noise %.0f s per signal: pans p = -1, -0.75, ..., +1 (each belongs at 30p "
                "degrees, in 4.0 a phantom image), decorrelated, L = -R; the band mix and the film "
                "mix (%.0f s). Sides: speakers at +-90 degrees; behind: beyond. Fold-down: the "
                "layout's own weights (LFE out). Measured in %.1f s.\n\n",
                seconds, seconds, took);
    printTextTable(lines, o.markdown, Columns::FiguresRight);
    if (!o.svgLayouts.empty()) {
        std::ofstream file(o.svgLayouts);
        file << ringPicture(panels, "each layout's speakers at their azimuths (C 0, L/R 30, "
                                    "surrounds 110, 7.1 sides 90 and backs 140 degrees)");
        if (!file.flush()) throw std::runtime_error("cannot write " + o.svgLayouts);
        std::printf("\nwrote %s\n", o.svgLayouts.c_str());
    }
}

std::string besideExecutable(const char* argv0, const std::string& name) {
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) self = fs::absolute(argv0);
    return (self.parent_path() / name).string();
}

int run(int argc, char** argv) {
    const Options o = parse(argc, argv);
    if (!o.writeStereo.empty()) {
        writeLongStereo(o.writeStereo, o.minutes);
        return 0;
    }
    const std::string scratch =
        (fs::temp_directory_path() / ("surround-quality-" + std::to_string(::getpid()))).string();
    fs::create_directories(scratch);

    const Speech speech = loadSpeech(scratch);

    const host::PluginLibrary library(o.library.empty()
                                          ? besideExecutable(argv[0], host::defaultLibraryFileName())
                                          : o.library);
    std::vector<Upmixer> upmixers;
    struct Column {
        const char* name;
        const char* method;
        bool atf;
    };
    const std::vector<std::string> methods{"slice", "arctan", "cc"};
    for (const Column& column : {Column{"slice", "slice", false}, Column{"arctan", "arctan", false},
                                 Column{"cc", "cc", false}, Column{"slice --atf", "slice", true},
                                 Column{"arctan --atf", "arctan", true}, Column{"cc --atf", "cc", true}}) {
        if (!o.host.empty()) {
            upmixers.push_back(hostUpmixer(o.host, column.method, o.hostArgs + (column.atf ? " --atf" : ""), scratch));
            upmixers.back().name = column.name;
            continue;
        }
        spectral::UpmixControls controls;
        controls.method = spectral::parseUpmixMethod(column.method);
        controls.atf = column.atf;
        upmixers.push_back(engineUpmixer(library, column.name, controls));
    }
    if (o.ffmpeg && ffmpegInstalled()) {
        upmixers.push_back(ffmpegUpmixer(scratch));
    } else if (o.ffmpeg) {
        std::printf("(ffmpeg not installed: no FFmpeg column)\n");
    }

    if (o.scorecard.motion || o.scorecard.defaults) {
        std::printf("Upmix scorecard, 44.1 kHz, default settings (FFmpeg: its latency taken out); "
                    "speech from %s.\n", speech.source.c_str());
        const ScorecardSignals signals = scorecardSignals(speech, o.scorecard);
        std::vector<Scorecard> cards;
        for (const Upmixer& upmixer : upmixers) cards.push_back(runScorecard(upmixer, signals));
        printScorecards(cards, methods, o.markdown);
    }
    if (!o.staticSuite) {
        fs::remove_all(scratch);
        return 0;
    }
    const std::vector<TestSignal> signals = standardSignals(o.seconds, speech);
    std::printf("\nUpmix quality, 44.1 kHz: pink noise %.0f s per signal, dialogue from %s (%.1f s), "
                "demo 12 s.\nShares and peak at default settings; downmix with the rear delay at "
                "0; LFE leakage with --lfe-cutoff 120 (FFmpeg: its own LFE, on by default).\n",
                o.seconds, speech.source.c_str(),
                static_cast<double>(speech.samples.size()) / kSampleRate);
    std::vector<RingPanel> panels;
    std::vector<std::string> names;
    std::vector<std::vector<QualityRow>> results;
    for (const Upmixer& upmixer : upmixers) {
        const std::vector<QualityRow> rows = measureAll(upmixer, signals);
        const std::string title =
            upmixer.name == "ffmpeg" ? "FFmpeg surround (win_size 2048, overlap 0.75)"
                                     : upmixer.name;
        printTable(title, rows, o.markdown);
        panels.push_back(surroundPanel(upmixer.name == "ffmpeg" ? "FFmpeg surround" : upmixer.name, rows));
        names.push_back(upmixer.name);
        results.push_back(rows);
    }
    printTargets(names, results, o.markdown);
    if (!o.svg.empty()) {
        std::ofstream(o.svg) << ringPicture(panels);
        std::printf("\nwrote %s\n", o.svg.c_str());
    }
    // This build's engine only: another binary's layouts are not measured.
    if (o.host.empty()) measureLayouts(library, speech, std::min(o.seconds, kLayoutSeconds), o);
    fs::remove_all(scratch);
    return 0;
}

}  // namespace
}  // namespace quorveil::quality

int main(int argc, char** argv) {
    try {
        return quorveil::quality::run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "surround-quality: %s\n", error.what());
        return 1;
    }
}
