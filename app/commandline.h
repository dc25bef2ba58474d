#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <string>

// The program's command line: "time" and "code" (named or positional) and the
// flags -v/--version and -d/--debug.
class CommandLine {
public:
    // Longest argument handed to the option parser. Its regular expressions
    // recurse once per character, so a very long argument would overflow the
    // stack; real arguments are a few characters long.
    static constexpr std::size_t maxArgumentLength = 4096;

    struct Options {
        std::optional<int> time;
        std::optional<int> code;
        bool version = false;
        bool debug = false;
    };

    // The options given, or the error message to log when the command line
    // does not parse (then no option counts as given). argv[0] is the program.
    static std::expected<Options, std::string> parse(int argc, const char* const* argv);
};
