// The program's command line: the input is the argument list, split at NUL
// bytes. Over-long arguments must be refused before the option parser sees them.
#include "commandline.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> arguments{"Ulvexbackend"};
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    arguments.push_back(current);

    bool overLong = false;
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
        overLong = overLong || argument.size() > CommandLine::maxArgumentLength;
    }
    argv.push_back(nullptr);

    const auto parsed = CommandLine::parse(static_cast<int>(arguments.size()), argv.data());
    // An over-long argument never reaches the parser and never counts as given.
    if (overLong && (parsed || parsed.error().rfind("Argument ", 0) != 0))
        std::abort();
    if (!parsed && parsed.error().empty())
        std::abort();
    return 0;
}
