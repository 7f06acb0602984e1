// SPDX-License-Identifier: MIT
// ArcTan4_6's ring-angle output ("2") with an empty or all but empty centre
// zone: "Center Width" at its minimum 0, or so small that stretching the zone
// onto its arc overflows. Frequency positions of opposite sign carry a bin
// far outside the image circle, into the centre zones; their angle used to
// come out as -inf, +inf or NaN. It is the zone's start angle now (C for the
// zone left of the front, RF for the one right of it), and the speaker levels
// are what they always were: the gains of such a bin still follow the warp
// as before (C alone past either end, the previous bin's gains for the
// not-a-number angle of image angle 0).
#include <array>
#include <cmath>
#include <string>

#include "tests/support/LibraryFixture.h"

namespace quorveil::testing {
namespace {

enum Pin { LFd, RFd, Cd, LSd, RSd, LFl, RFl, Cl, LSl, RSl, Position, RingAngle, kPins };
enum Id { Ratio = 1, FreqMode = 2, TotalWidth = 3, CenterWidth = 4, Mode = 7 };

struct Case {
    const char* what;
    double centerWidth;
    double totalWidth;
    double ratio;
    int32_t mode;                 // 0 Sum, 1 Across, 2 Diagonal
    std::array<float, 4> bin;     // L and R frequency, L and R magnitude
    float ringAngle;
    std::array<float, 10> levels;  // dominant LF RF C LS RS, lesser LF RF C LS RS
};

std::array<float, kPins> place(const Case& c) {
    auto arctan = instanceOf("ArcTan4_6");
    auto engine = host::makeEngineInfo(48000, 256, 1024, 4, 1);
    engine.binCount = 1;
    host::ProcessBuffers buffers(arctan->pinCounts(), engine);
    arctan->setEngineInfo(engine);
    arctan->start();
    for (const auto& info : arctan->describeParameters()) arctan->setToDefault(info);
    arctan->setRealParameter(CenterWidth, c.centerWidth);
    arctan->setRealParameter(TotalWidth, c.totalWidth);
    arctan->setRealParameter(Ratio, c.ratio);
    arctan->setIntParameter(FreqMode, 0);  // "HFTC"
    arctan->setIntParameter(Mode, c.mode);
    buffers.frequencyIn.frame(0, 0)[0] = c.bin[0];
    buffers.frequencyIn.frame(1, 0)[0] = c.bin[1];
    buffers.magnitudeIn.frame(0, 0)[0] = c.bin[2];
    buffers.magnitudeIn.frame(1, 0)[0] = c.bin[3];
    arctan->process(buffers);
    std::array<float, kPins> out;
    for (int32_t pin = 0; pin < kPins; ++pin) out[static_cast<std::size_t>(pin)] = buffers.magnitudeOut.frame(pin, 0)[0];
    return out;
}

TEST(ArcTanRingAngle, AnEmptyCentreZoneGivesItsStartAngleAndTheSpeakersKeepTheirLevels) {
    // Speakers at their defaults: C 0, LF 45, LS 120, RS 240, RF 315.
    // Frequency share 1 ("Mag/Freq Ratio" 0): L +1000 Hz, R -1000 Hz puts the
    // bin at image angle -252 (left of the centre zone's start), the other
    // way round at 612 (past the right-hand centre zone).
    const Case cases[] = {
        {"before the left centre zone, Sum", 0, 360, 0, 0, {1000, -1000, 1, 0.5f}, 0,
         {0, 0, 1.5f, 0, 0, 0, 0, 0, 0, 0}},
        {"past the right centre zone, Sum", 0, 360, 0, 0, {-1000, 1000, 1, 0.5f}, 315,
         {0, 0, 1.5f, 0, 0, 0, 0, 0, 0, 0}},
        {"before the left centre zone, Across", 0, 360, 0, 1, {1000, -1000, 1, 0.5f}, 0,
         {0, 0, 1, 0, 0, 0, 0, 0.5f, 0, 0}},
        {"past the right centre zone, Diagonal", 0, 360, 0, 2, {-1000, 1000, 1, 0.5f}, 315,
         {0, 0, 1, 0, 0, 0, 0, 0.5f, 0, 0}},
        {"half frequency, half magnitude", 0, 360, 0.5, 2, {-1, 0.001f, 1, 0.5f}, 315,
         {0, 0, 1, 0, 0, 0, 0, 0.5f, 0, 0}},
        // 1e-37 degrees: the zone's reciprocal width is finite, the stretch
        // onto the 45 degrees from C to LF is not.
        {"a centre zone too narrow to stretch", 1e-37, 360, 0, 0, {1000, -1000, 1, 0.5f}, 0,
         {0, 0, 1.5f, 0, 0, 0, 0, 0, 0, 0}},
        // Total width 0: every bin left of centre sits at image angle 0, the
        // start of the empty zone; before any gains were set it stays silent.
        {"image angle 0", 0, 0, 1, 0, {0, 0, 3, 0}, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto out = place(c);
        EXPECT_TRUE(std::isfinite(out[Position]));
        EXPECT_EQ(out[RingAngle], c.ringAngle);
        for (std::size_t s = 0; s < c.levels.size(); ++s) {
            EXPECT_EQ(out[s], c.levels[s]) << "speaker output " << s;
        }
    }
}

// Every in-range setting of the widths, every mode and frequency rule, and
// bins from every quarter of the frequency plane: the ring angle is finite.
TEST(ArcTanRingAngle, IsFiniteForEveryInRangeWidthAndFiniteBin) {
    const double centreWidths[] = {0, 1e-40, 1e-37, 1e-30, 1, 119};
    const double totalWidths[] = {0, 1e-30, 180, 360};
    const std::array<float, 4> bins[] = {{1000, -1000, 1, 0.5f}, {-1000, 1000, 1, 0.5f},
                                         {-1, -1, 0, 0},        {24000, -0.001f, 0, 7},
                                         {-24000, 3, 1e6f, 1e-40f}};
    for (double cw : centreWidths) {
        for (double w : totalWidths) {
            for (int32_t mode = 0; mode < 3; ++mode) {
                for (const auto& bin : bins) {
                    const Case c{"", cw, w, 0.25, mode, bin, 0, {}};
                    const auto out = place(c);
                    EXPECT_TRUE(std::isfinite(out[RingAngle]))
                        << "Cw " << cw << " W " << w << " mode " << mode << " bin " << bin[0] << ","
                        << bin[1] << "," << bin[2] << "," << bin[3] << ": " << out[RingAngle];
                }
            }
        }
    }
}

}  // namespace
}  // namespace quorveil::testing
