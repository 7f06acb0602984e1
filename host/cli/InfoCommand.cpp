// SPDX-License-Identifier: GPL-3.0-or-later
// surround-host info MODULE: pins and parameters, as a host panel lists them.
#include <CLI/CLI.hpp>

#include "host/cli/CommandLine.h"

namespace quorveil::cli {

namespace {

using plogue::biduleSDK::ParameterKind;

struct Family {
    const char* name;
    int32_t count;
};

// Pin names arrive as one list per side, families concatenated in the
// order audio, MIDI, frequency, magnitude.
void addPinRows(std::vector<std::vector<std::string>>& rows, const char* side,
                const std::vector<Family>& families, const std::vector<std::string>& names) {
    std::size_t next = 0;
    for (const Family& family : families) {
        if (family.count <= 0) {
            continue;
        }
        std::string list;
        for (int32_t i = 0; i < family.count; ++i, ++next) {
            const std::string name = next < names.size() && !names[next].empty()
                                         ? names[next]
                                         : "(unnamed)";
            list += (i == 0 ? "" : ", ") + name;
        }
        rows.push_back({std::string(family.name) + " " + side, std::to_string(family.count), list});
    }
}

std::string rangeText(const host::ParameterDescription& parameter) {
    return host::formatReal(parameter.minimum) + " to " + host::formatReal(parameter.maximum);
}

}  // namespace

std::function<void()> addInfoCommand(CLI::App& command, Context& context) {
    auto module = std::make_shared<std::string>();
    command.add_option("MODULE", *module, "Class name, display name or unique id (any letter case)")
        ->required();
    return [&context, module] {
        const host::PluginLibrary& library = context.library();
        const host::ModuleRow row = library.findModule(*module);
        host::ModuleSession session(library, row, host::engineFor(host::RenderJob{}, 48000));
        const host::PinCounts& pins = session.pins();

        std::string text = row.name + "\n";
        std::vector<std::vector<std::string>> about{{"  unique id", row.uniqueId},
                                                    {"  menu", menuPath(row.categoryPath)}};
        text += formatTable(about);

        std::vector<std::vector<std::string>> pinRows;
        addPinRows(pinRows, "in",
                   {{"audio", pins.audioIn}, {"MIDI", pins.midiIn},
                    {"frequency", pins.frequencyIn}, {"magnitude", pins.magnitudeIn}},
                   session.inputPinNames());
        addPinRows(pinRows, "out",
                   {{"audio", pins.audioOut}, {"MIDI", pins.midiOut},
                    {"frequency", pins.frequencyOut}, {"magnitude", pins.magnitudeOut}},
                   session.outputPinNames());
        for (auto& pinRow : pinRows) {
            pinRow[0] = "  " + pinRow[0];
        }
        text += "\nPins\n" + formatTable(pinRows);

        // One table row per parameter; choices and texts go on a line of
        // their own below it, so they do not stretch the columns.
        std::vector<std::vector<std::string>> rows{
            {"  id", "name", "kind", "default", "range", "unit", "enabled"}};
        std::vector<std::string> notes{""};
        for (const host::ParameterDescription& parameter : session.parameters()) {
            std::vector<std::string> cells{"  " + std::to_string(parameter.id), parameter.label,
                                           host::kindName(parameter), "-", "-", "-",
                                           parameter.enabledAfterStart ? "yes" : "no"};
            std::string note;
            if (parameter.kind == ParameterKind::Real) {
                cells[3] = host::formatReal(parameter.defaultReal);
                cells[4] = rangeText(parameter);
                cells[5] = parameter.unit.empty() ? "-" : parameter.unit;
            } else if (parameter.carriesValue() && !parameter.isIndicator()) {
                cells[3] = host::formatValue(parameter, 0.0, parameter.defaultInt);
            }
            if (parameter.kind == ParameterKind::Choice) {
                for (std::size_t i = 0; i < parameter.choices.size(); ++i) {
                    note += (i == 0 ? "choices: " : ", ") + std::to_string(i) + " " +
                            parameter.choices[i];
                }
            } else if (!parameter.carriesValue()) {
                cells[6] = "-";
                const std::string value = session.currentValue(parameter);
                note = value.empty() ? "" : "value: " + value;
            }
            rows.push_back(std::move(cells));
            notes.push_back(std::move(note));
        }
        const std::string formatted = formatTable(rows);
        const std::string indent(formatted.find("name") + 2, ' ');
        std::string table;
        std::size_t at = 0;
        for (const std::string& note : notes) {
            const std::size_t end = formatted.find('\n', at) + 1;
            table += formatted.substr(at, end - at);
            at = end;
            if (!note.empty()) {
                table += indent + note + "\n";
            }
        }
        text += "\nParameters (in the order a host panel shows them)\n" + table;
        std::fputs(text.c_str(), context.out());
    };
}

}  // namespace quorveil::cli
