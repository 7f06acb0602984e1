// SPDX-License-Identifier: GPL-3.0-or-later
// The bench's tables on standard output: plain text in padded columns for a
// terminal, or Markdown for the docs.
#pragma once

#include <string>
#include <vector>

namespace quorveil::quality {

// Every column left-aligned, or the first left and the rest (figures)
// right-aligned.
enum class Columns { LeftAligned, FiguresRight };

// `lines`' first line is the header; every line has as many cells.
void printTextTable(const std::vector<std::vector<std::string>>& lines, bool markdown, Columns columns);

}  // namespace quorveil::quality
