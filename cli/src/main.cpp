// orvane: headless work on recordings and cameras. Exit status 0 on success, 1 on failure,
// 2 on a usage error; every failure is one line on stderr.
#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <exception>

#include "Command.h"
#include "OpenRecording.h"

namespace orvane::cli {

Args::Args(const std::vector<std::string>& argv, const std::vector<std::string>& valued)
{
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            std::string name = a.substr(2);
            std::string v;
            if (const size_t eq = name.find('='); eq != std::string::npos) {
                v = name.substr(eq + 1);
                name.resize(eq);
            } else if (std::find(valued.begin(), valued.end(), name) != valued.end()) {
                if (i + 1 >= argv.size()) {
                    error_ = "option --" + name + " needs a value";
                    return;
                }
                v = argv[++i];
            }
            options_[name] = v;
        } else {
            positional_.push_back(a);
        }
    }
}

std::optional<std::string> Args::value(const std::string& name) const
{
    const auto it = options_.find(name);
    if (it == options_.end()) return std::nullopt;
    return it->second;
}

std::optional<uint64_t> Args::u64(const std::string& name) const
{
    const auto v = value(name);
    if (!v) return std::nullopt;
    if (v->empty() || v->find_first_not_of("0123456789") != std::string::npos || v->size() > 19) {
        throw UsageError{"--" + name + " needs a non-negative integer, not '" + *v + "'"};
    }
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

}  // namespace orvane::cli

namespace {

void printHelp()
{
    std::printf("orvane: event camera recordings and cameras from the command line\n\nCommands:\n");
    for (const auto& c : orvane::cli::commands()) {
        std::printf("  orvane %s %s\n      %s\n", c.name.c_str(), c.usage.c_str(), c.summary.c_str());
    }
    std::printf("\n'orvane COMMAND --help' shows one command.\n");
}

}  // namespace

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
    std::vector<std::string> rest(args.begin() + static_cast<long>(words), args.end());
    for (const auto& a : rest) {
        if (a == "--help" || a == "-h") {
            std::printf("usage: orvane %s %s\n%s\n", found->name.c_str(), found->usage.c_str(),
                        found->summary.c_str());
            return 0;
        }
    }
    try {
        const int status = found->run(rest);
        // Whatever a command printed must have reached its destination.
        const int written = finishOutput();
        return status != 0 ? status : written;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "orvane %s: %s\nusage: orvane %s %s\n", found->name.c_str(), e.message.c_str(),
                     found->name.c_str(), found->usage.c_str());
        return 2;
    } catch (const RecordingFailure& e) {
        fail(e.what());
        return exitStatusFor(e.kind);
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}
