// A table for the terminal: each column as wide as its widest cell, so that long names (a peer's
// "Frequency L") do not push the columns after them out of line.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

class TextTable {
public:
    // Columns named in `header`; the first `rightAligned` of them are aligned right (indices).
    explicit TextTable(std::vector<std::string> header, std::size_t rightAligned = 1);
    void add(std::vector<std::string> row);
    // Two spaces between columns, no trailing spaces.
    void print(std::ostream& out) const;

private:
    std::vector<std::vector<std::string>> rows_;
    std::size_t rightAligned_;
};
