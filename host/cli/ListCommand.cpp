// SPDX-License-Identifier: GPL-3.0-or-later
// surround-host list: the module table as the host's menus show it.
#include <CLI/CLI.hpp>

#include "host/cli/CommandLine.h"

namespace quorveil::cli {

std::function<void()> addListCommand(CLI::App& command, Context& context) {
    (void)command;
    return [&context] {
        std::vector<std::vector<std::string>> rows{{"#", "Name", "Unique id", "Menu"}};
        for (const host::ModuleRow& row : context.library().modules()) {
            rows.push_back({std::to_string(row.index), row.name, row.uniqueId,
                            menuPath(row.categoryPath)});
        }
        std::fputs(formatTable(rows).c_str(), context.out());
    };
}

}  // namespace quorveil::cli
