// The slips people make on a command line, answered in their own terms before (or instead of)
// CLI11's messages, which name its internals: "At Most 1 required but received 2", "The following
// arguments were not expected: x --plugn".
#pragma once

#include <CLI/CLI.hpp>

#include <string>

// Throws UsageError for an option the command does not have, with the nearest one it has.
void checkOptionsTyped(const CLI::App& app, int argc, char** argv);

// CLI11's message for a parse error, in one line of the program's own words.
std::string parseErrorText(const CLI::ParseError& error);
