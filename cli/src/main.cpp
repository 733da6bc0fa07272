// orvane: headless work on recordings and cameras. Exit status 0 on success, 1 on failure,
// 2 on a usage error; every failure is one line on stderr. The only file that includes CLI11 (a heavy
// header): it builds the parser of the one command named from that command's description.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

#include "Command.h"
#include "OpenRecording.h"

namespace orvane::cli {

std::optional<std::string> Args::value(const std::string& name) const
{
    const auto it = given_.find(name);
    if (it == given_.end()) return std::nullopt;
    return it->second;
}

namespace {

// The one wording of a malformed count, whether the parser or a command finds it.
std::string countProblem(const std::string& v)
{
    if (v.empty() || v.find_first_not_of("0123456789") != std::string::npos || v.size() > 19) {
        return "needs a non-negative integer, not '" + v + "'";
    }
    return "";
}

}  // namespace

std::optional<uint64_t> Args::u64(const std::string& name) const
{
    const auto v = value(name);
    if (!v) return std::nullopt;
    if (const std::string problem = countProblem(*v); !problem.empty())
        throw UsageError{"--" + name + " " + problem};
    return std::stoull(*v);
}

namespace {
std::vector<Command>& table()
{
    static std::vector<Command> t;
    return t;
}
}  // namespace

bool registerCommand(Command command)
{
    table().push_back(std::move(command));
    return true;
}

const std::vector<Command>& commands()
{
    return table();
}

std::string usageOf(const Command& c)
{
    std::string out = c.positionalUsage;
    for (const Positional& p : c.positionalUsage.empty() ? c.positionals : std::vector<Positional>{}) {
        const std::string word = p.name + (p.many ? "..." : "");
        out += (out.empty() ? "" : " ") + (p.optional ? "[" + word + "]" : word);
    }
    for (const Option& o : c.options) {
        std::string word = o.shortName.empty() ? "--" + o.name : "-" + o.shortName;
        if (o.kind != Option::Kind::Flag) word += " " + o.valueName;
        out += (out.empty() ? "[" : " [") + word + "]";
    }
    return out;
}

int fail(const std::string& message)
{
    std::fprintf(stderr, "orvane: %s\n", message.c_str());
    return 1;
}

int finishOutput()
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int err = errno;
        return fail(std::string("cannot write the output: ") + std::strerror(err ? err : EIO));
    }
    return 0;
}

namespace {

void printHelp()
{
    std::printf("orvane: event camera recordings and cameras from the command line\n\nCommands:\n");
    for (const auto& c : commands()) {
        std::printf("  orvane %s %s\n      %s\n", c.name.c_str(), usageOf(c).c_str(), c.summary.c_str());
    }
    std::printf("\n'orvane COMMAND --help' shows one command.\n");
}

// The parser of one command. Values land in `values`, positionals in `singles` or, for a `many` one
// (which collects the rest), in `positionals`, one slot per described positional.
struct Parser {
    CLI::App app;
    std::map<std::string, std::string> values;
    std::map<std::string, CLI::Option*> options;
    std::vector<std::vector<std::string>> positionals;  // of a `many` one
    std::vector<std::string> singles;                   // of each other one
    std::vector<CLI::Option*> positionalOptions;

    explicit Parser(const Command& c) : app(c.summary, "orvane " + c.name)
    {
        app.set_help_flag("-h,--help", "this help");
        app.footer(c.details);
        app.get_formatter()->column_width(26);
        positionals.resize(c.positionals.size());
        singles.resize(c.positionals.size());
        for (size_t i = 0; i < c.positionals.size(); ++i) {
            const Positional& p = c.positionals[i];
            CLI::Option* o = p.many ? app.add_option(p.name, positionals[i], p.help)
                                    : app.add_option(p.name, singles[i], p.help);
            o->type_name("");
            if (!p.optional) o->required();
            positionalOptions.push_back(o);
        }
        for (const Option& spec : c.options) {
            const std::string flags =
                (spec.shortName.empty() ? "" : "-" + spec.shortName + ",") + "--" + spec.name;
            CLI::Option* o = nullptr;
            if (spec.kind == Option::Kind::Flag) {
                o = app.add_flag(flags, spec.help);
            } else {
                o = app.add_option(flags, values[spec.name], spec.help)->type_name(spec.valueName);
                // As people expect of a command line: the last of a repeated option counts.
                o->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
                if (spec.kind == Option::Kind::Count) {
                    o->check(CLI::Validator([](std::string& v) { return countProblem(v); }, "", "count"));
                }
            }
            options[spec.name] = o;
        }
    }

    Args args() const
    {
        std::vector<std::string> flat;
        for (size_t i = 0; i < positionalOptions.size(); ++i) {
            if (positionalOptions[i]->count() == 0) continue;
            if (positionals[i].empty()) {
                flat.push_back(singles[i]);
            } else {
                flat.insert(flat.end(), positionals[i].begin(), positionals[i].end());
            }
        }
        std::map<std::string, std::string> given;
        for (const auto& [name, option] : options) {
            if (option->count() == 0) continue;
            const auto v = values.find(name);
            given[name] = v == values.end() ? "" : v->second;
        }
        return Args(std::move(flat), std::move(given));
    }
};

int usageError(const Command& c, const std::string& message)
{
    std::fprintf(stderr, "orvane %s: %s\nusage: orvane %s %s\n", c.name.c_str(), message.c_str(),
                 c.name.c_str(), usageOf(c).c_str());
    return 2;
}

}  // namespace

}  // namespace orvane::cli

int main(int argc, char** argv)
{
    using namespace orvane::cli;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printHelp();
        return args.empty() ? 2 : 0;
    }
    // The longest registered name that the arguments start with.
    const Command* found = nullptr;
    size_t words = 0;
    for (const auto& c : commands()) {
        const size_t n = c.name.find(' ') == std::string::npos ? 1 : 2;
        if (n > args.size()) continue;
        const std::string name = n == 1 ? args[0] : args[0] + " " + args[1];
        if (name == c.name && n > words) {
            found = &c;
            words = n;
        }
    }
    if (!found) {
        std::fprintf(stderr, "orvane: unknown command '%s' (see 'orvane --help')\n", args[0].c_str());
        return 2;
    }
    Parser parser(*found);
    // CLI11 takes the arguments last first.
    std::vector<std::string> rest(args.rbegin(), args.rend() - static_cast<long>(words));
    try {
        parser.app.parse(rest);
    } catch (const CLI::CallForHelp&) {
        std::fputs(parser.app.help().c_str(), stdout);
        return finishOutput();
    } catch (const CLI::ParseError& e) {
        return usageError(*found, e.what());
    }
    try {
        const int status = found->run(parser.args());
        // Whatever a command printed must have reached its destination.
        const int written = finishOutput();
        return status != 0 ? status : written;
    } catch (const UsageError& e) {
        return usageError(*found, e.message);
    } catch (const RecordingFailure& e) {
        fail(e.what());
        return exitStatusFor(e.kind);
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}
