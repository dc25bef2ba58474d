#include "commandline.h"

#include <cstring>
#include <cxxopts.hpp>
#include <exception>
#include <fmt/format.h>

namespace {

cxxopts::Options buildOptions()
{
    cxxopts::Options options("Ulvex backend", "backend");
    options.add_options()
        ("time", "Int param", cxxopts::value<int>())
        ("code", "Application code", cxxopts::value<int>())
        ("v,version", "Ulvexbackend version")
        ("d,debug", "Enable debug window");
    options.parse_positional({"time", "code"});
    options.positional_help("time code");
    return options;
}

} // namespace

std::expected<CommandLine::Options, std::string> CommandLine::parse(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::size_t length = std::strlen(argv[i]);
        if (length > maxArgumentLength)
            return std::unexpected(fmt::format("Argument {} is too long: {} characters, at most {}", i, length,
                                               maxArgumentLength));
    }
    try {
        cxxopts::Options options = buildOptions();
        const cxxopts::ParseResult parsed = options.parse(argc, argv);
        Options result;
        if (parsed.count("time") > 0)
            result.time = parsed["time"].as<int>();
        if (parsed.count("code") > 0)
            result.code = parsed["code"].as<int>();
        result.version = parsed.count("version") > 0;
        result.debug = parsed.count("debug") > 0;
        return result;
    } catch (const std::exception& e) {
        return std::unexpected(fmt::format("Exception: {}", e.what()));
    }
}
