#include "TextTable.h"

#include <algorithm>
#include <ostream>

TextTable::TextTable(std::vector<std::string> header, std::size_t rightAligned) : rightAligned_(rightAligned) {
    rows_.push_back(std::move(header));
}

void TextTable::add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }

void TextTable::print(std::ostream& out) const {
    std::vector<std::size_t> widths;
    for (const auto& row : rows_) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], row[column].size());
    }
    for (const auto& row : rows_) {
        std::string line;
        for (std::size_t column = 0; column < row.size(); ++column) {
            const std::string padding(widths[column] - row[column].size(), ' ');
            line += (column ? "  " : "") + (column < rightAligned_ ? padding + row[column] : row[column] + padding);
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << "\n";
    }
}
