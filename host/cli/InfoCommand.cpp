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

        std::vector<std::vector<std::string>> rows{
            {"  id", "name", "kind", "default", "range", "unit", "enabled"}};
        for (const host::ParameterDescription& parameter : session.parameters()) {
            std::vector<std::string> cells{"  " + std::to_string(parameter.id), parameter.label,
                                           host::kindName(parameter), "-", "-", "-",
                                           parameter.enabledAfterStart ? "yes" : "no"};
            if (parameter.kind == ParameterKind::Real) {
                cells[3] = host::formatReal(parameter.defaultReal);
                cells[4] = rangeText(parameter);
                cells[5] = parameter.unit.empty() ? "-" : parameter.unit;
            } else if (parameter.carriesValue() && !parameter.isIndicator()) {
                cells[3] = host::formatValue(parameter, 0.0, parameter.defaultInt);
            }
            if (!parameter.carriesValue()) {
                cells[6] = "-";
            }
            rows.push_back(cells);
            if (parameter.kind == ParameterKind::Choice) {
                std::string list;
                for (std::size_t i = 0; i < parameter.choices.size(); ++i) {
                    list += (i == 0 ? "" : ", ") + std::to_string(i) + " " + parameter.choices[i];
                }
                rows.push_back({"", "  choices: " + list});
            } else if (!parameter.carriesValue()) {
                const std::string value = session.currentValue(parameter);
                if (!value.empty()) {
                    rows.push_back({"", "  value: " + value});
                }
            }
        }
        // The wide continuation lines must not stretch the columns.
        std::string table;
        std::vector<std::vector<std::string>> columns;
        std::vector<std::pair<std::size_t, std::string>> notes;
        for (const auto& cells : rows) {
            if (cells.size() == 2) {
                notes.emplace_back(columns.size(), cells[1]);
            } else {
                columns.push_back(cells);
            }
        }
        const std::string formatted = formatTable(columns);
        std::size_t line = 0, at = 0, note = 0;
        std::string indent;
        if (const auto first = formatted.find('\n'); first != std::string::npos) {
            indent = std::string(formatted.find("name"), ' ');
        }
        while (at < formatted.size()) {
            const std::size_t end = formatted.find('\n', at);
            table += formatted.substr(at, end - at + 1);
            at = end + 1;
            ++line;
            for (; note < notes.size() && notes[note].first == line; ++note) {
                table += indent + notes[note].second + "\n";
            }
        }
        text += "\nParameters (in the order a host panel shows them)\n" + table;
        std::fputs(text.c_str(), context.out());
    };
}

}  // namespace quorveil::cli
