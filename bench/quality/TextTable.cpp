// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/quality/TextTable.h"

#include <algorithm>
#include <cstdio>

namespace quorveil::quality {

namespace {

void printMarkdown(const std::vector<std::vector<std::string>>& lines, Columns columns) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string text = "|";
        for (const std::string& cell : lines[i]) text += " " + cell + " |";
        std::printf("%s\n", text.c_str());
        if (i != 0) continue;
        std::string rule = "|";
        for (std::size_t c = 0; c < lines[i].size(); ++c)
            rule += c == 0 || columns == Columns::LeftAligned ? "---|" : "--:|";
        std::printf("%s\n", rule.c_str());
    }
}

}  // namespace

void printTextTable(const std::vector<std::vector<std::string>>& lines, bool markdown, Columns columns) {
    if (lines.empty()) return;
    if (markdown) {
        printMarkdown(lines, columns);
        return;
    }
    std::vector<std::size_t> widths(lines[0].size(), 0);
    for (const auto& line : lines) {
        for (std::size_t c = 0; c < line.size(); ++c) widths[c] = std::max(widths[c], line[c].size());
    }
    for (const auto& line : lines) {
        std::string text;
        for (std::size_t c = 0; c < line.size(); ++c) {
            const std::string pad(widths[c] - line[c].size(), ' ');
            if (c == 0) text += line[c] + pad;
            else if (columns == Columns::LeftAligned) text += "  " + line[c] + pad;
            else text += "  " + pad + line[c];
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        std::printf("%s\n", text.c_str());
    }
}

}  // namespace quorveil::quality
