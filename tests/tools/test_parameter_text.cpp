// SPDX-License-Identifier: GPL-3.0-or-later
// Typed parameter values as the host reads them for every kind of parameter,
// including the choice and switch kinds of the spectral modules.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "host/hosting/ParameterText.h"
#include "host/hosting/PluginLibrary.h"

namespace quorveil::testing {
namespace {

using host::ParameterDescription;
using plogue::biduleSDK::ParameterKind;

ParameterDescription real(double minimum, double maximum) {
    ParameterDescription parameter;
    parameter.label = "Width";
    parameter.kind = ParameterKind::Real;
    parameter.controlStyle = 1;
    parameter.minimum = minimum;
    parameter.maximum = maximum;
    parameter.unit = "degrees";
    return parameter;
}

ParameterDescription choice() {
    ParameterDescription parameter;
    parameter.label = "Mode";
    parameter.kind = ParameterKind::Choice;
    parameter.controlStyle = 3;
    parameter.choices = {"Off", "Dominant", "Lesser Image"};
    return parameter;
}

ParameterDescription integer(int32_t controlStyle) {
    ParameterDescription parameter;
    parameter.label = "Wrap Rears";
    parameter.kind = ParameterKind::Integer;
    parameter.controlStyle = controlStyle;
    return parameter;
}

ParameterDescription text() {
    ParameterDescription parameter;
    parameter.label = "Speaker Angles:";
    return parameter;
}

TEST(ParameterText, ReadsWhatEachKindAccepts) {
    const struct {
        ParameterDescription parameter;
        std::string text;
        bool force;
        double real;
        int32_t integer;
    } cases[] = {
        {real(0, 360), "45", false, 45.0, 0},
        {real(0, 360), "+359.99", false, 359.99, 0},
        {real(-180, 180), "-180", false, -180.0, 0},
        {real(-180, 180), "1e2", false, 100.0, 0},
        {real(-180, 180), "270", true, 270.0, 0},
        {real(0, 1), "-0.5", true, -0.5, 0},
        {choice(), "dominant", false, 0.0, 1},
        {choice(), "LESSER IMAGE", false, 0.0, 2},
        {choice(), "0", false, 0.0, 0},
        {choice(), "2", false, 0.0, 2},
        {integer(2), "on", false, 0.0, 1},
        {integer(2), "Off", false, 0.0, 0},
        {integer(2), "true", false, 0.0, 1},
        {integer(2), "0", false, 0.0, 0},
        {integer(2), "yes", false, 0.0, 1},
        {integer(0), "-7", false, 0.0, -7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.parameter.label + " = " + c.text);
        const host::ParameterValue value = host::parseValue(c.parameter, c.text, c.force);
        EXPECT_EQ(value.real, c.real);
        EXPECT_EQ(value.integer, c.integer);
    }
}

TEST(ParameterText, RefusesWithOneClearLine) {
    const struct {
        ParameterDescription parameter;
        std::string text;
        std::string message;
    } cases[] = {
        {real(0, 360), "left", "'left' is not a number (for 'Width')"},
        {real(0, 360), "45deg", "'45deg' is not a number (for 'Width')"},
        {real(0, 360), "", "'' is not a number (for 'Width')"},
        {real(0, 360), "nan", "'nan' is not a number (for 'Width')"},
        {real(0, 360), "inf", "'inf' is not a number (for 'Width')"},
        {real(0, 360), "360.5",
         "'Width' takes 0 to 360 degrees, not 360.5 (--force sends it anyway)"},
        {real(0, 360), "-1e-9",
         "'Width' takes 0 to 360 degrees, not -1e-9 (--force sends it anyway)"},
        {choice(), "Both",
         "'Both' is not a choice of 'Mode' (choices: 0 Off, 1 Dominant, 2 Lesser Image)"},
        {choice(), "3",
         "'3' is not a choice of 'Mode' (choices: 0 Off, 1 Dominant, 2 Lesser Image)"},
        {choice(), "-1",
         "'-1' is not a choice of 'Mode' (choices: 0 Off, 1 Dominant, 2 Lesser Image)"},
        {integer(2), "2", "'2' is not on or off (for 'Wrap Rears')"},
        {integer(0), "1.5", "'1.5' is not a whole number (for 'Wrap Rears')"},
        {integer(9), "1", "'Wrap Rears' is an indicator the module lights; it takes no value"},
        {text(), "x", "'Speaker Angles:' is a label, not a setting"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.parameter.label + " = " + c.text);
        try {
            host::parseValue(c.parameter, c.text, false);
            ADD_FAILURE() << "accepted";
        } catch (const host::HostError& error) {
            EXPECT_EQ(std::string(error.what()), c.message);
        }
    }
}

TEST(ParameterText, SplitsSettingsAtTheFirstEqualsSign) {
    const struct {
        std::string text, name, value;
    } cases[] = {
        {"Pan Angle=-90", "Pan Angle", "-90"},
        {"  Pan Angle = -90 ", "Pan Angle", "-90"},
        {"Mode=a=b", "Mode", "a=b"},
        {"Mode=", "Mode", ""},
    };
    for (const auto& c : cases) {
        const host::ParameterAssignment assignment = host::parseAssignment(c.text);
        EXPECT_EQ(assignment.name, c.name);
        EXPECT_EQ(assignment.value, c.value);
    }
    for (const std::string bad : {"Pan Angle", "=5", " =5", ""}) {
        EXPECT_THROW(host::parseAssignment(bad), host::HostError) << bad;
    }
}

TEST(ParameterText, ShowsValuesAsTheyAreTypedBack) {
    EXPECT_EQ(host::formatReal(45.0), "45");
    EXPECT_EQ(host::formatReal(359.99), "359.99");
    EXPECT_EQ(host::formatReal(-0.00016), "-0.00016");
    EXPECT_EQ(host::formatValue(choice(), 0.0, 1), "Dominant");
    EXPECT_EQ(host::formatValue(choice(), 0.0, 7), "7");
    EXPECT_EQ(host::formatValue(integer(2), 0.0, 1), "on");
    EXPECT_EQ(host::formatValue(integer(0), 0.0, -3), "-3");
}

}  // namespace
}  // namespace quorveil::testing
