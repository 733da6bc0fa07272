// The command table of the CLI. Each command file registers itself with ORVANE_CLI_COMMAND, so
// adding a command touches no shared file. Names may have two words ("bench decode").
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orvane::cli {

// Arguments after the command name: positionals and --options. A flag is an option without value;
// which options take a value is told by the command through `valued`.
class Args {
public:
    Args(const std::vector<std::string>& argv, const std::vector<std::string>& valued);

    const std::vector<std::string>& positional() const { return positional_; }
    bool has(const std::string& name) const { return options_.count(name) != 0; }
    std::optional<std::string> value(const std::string& name) const;
    // A non-negative integer option; throws UsageError when malformed.
    std::optional<uint64_t> u64(const std::string& name) const;
    const std::string& error() const { return error_; }  // non-empty when parsing failed

private:
    std::vector<std::string> positional_;
    std::map<std::string, std::string> options_;
    std::string error_;
};

struct UsageError {
    std::string message;
};

struct Command {
    std::string name;
    std::string usage;    // "FILE.raw [--json]"
    std::string summary;  // one line
    int (*run)(const std::vector<std::string>& args);
};

bool registerCommand(Command command);
const std::vector<Command>& commands();

// Prints "orvane: <message>" on stderr and returns the exit status for failures.
int fail(const std::string& message);

// The exit status of a command whose result went to standard output: 0 when all of it was
// written, else a failure (a full disk, a closed pipe) said on stderr.
int finishOutput();

}  // namespace orvane::cli

#define ORVANE_CLI_CONCAT2(a, b) a##b
#define ORVANE_CLI_CONCAT(a, b) ORVANE_CLI_CONCAT2(a, b)
#define ORVANE_CLI_COMMAND(...) \
    static const bool ORVANE_CLI_CONCAT(registered_, __LINE__) = ::orvane::cli::registerCommand({__VA_ARGS__})
