// The command table of the CLI. Each command file registers itself with ORVANE_CLI_COMMAND, so
// adding a command touches no shared file. Names may have two words ("bench decode"). A command
// describes its positionals and options; main.cpp alone turns that into the parser (CLI11), parses,
// prints --help and usage errors the same way for every command, and hands the run function the
// values.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvane::cli {

struct Positional {
    Positional(std::string name_, std::string help_, bool many_ = false, bool optional_ = false)
        : name(std::move(name_)), help(std::move(help_)), many(many_), optional(optional_)
    {
    }
    std::string name;  // as usage shows it: "FILE.raw"
    std::string help;
    bool many;      // one or more
    bool optional;  // may be left out
};

struct Option {
    enum class Kind { Flag, Text, Count };  // Count: a non-negative integer
    Option(std::string name_, Kind kind_, std::string valueName_, std::string help_,
           std::string shortName_ = "")
        : name(std::move(name_)),
          kind(kind_),
          valueName(std::move(valueName_)),
          help(std::move(help_)),
          shortName(std::move(shortName_))
    {
    }
    std::string name;  // "start" for --start
    Kind kind;
    std::string valueName;  // "US"
    std::string help;
    std::string shortName;  // "j" for -j (optional)
};

// What the parser found: the positionals in order, and the options given (a flag's value is empty).
class Args {
public:
    Args() = default;
    Args(std::vector<std::string> positional, std::map<std::string, std::string> given)
        : positional_(std::move(positional)), given_(std::move(given))
    {
    }

    const std::vector<std::string>& positional() const { return positional_; }
    bool has(const std::string& name) const { return given_.count(name) != 0; }
    std::optional<std::string> value(const std::string& name) const;
    // A Count option's value (the parser checked it; throws UsageError when malformed all the same).
    std::optional<uint64_t> u64(const std::string& name) const;

private:
    std::vector<std::string> positional_;
    std::map<std::string, std::string> given_;
};

struct UsageError {
    std::string message;
};

struct Command {
    Command(std::string name_, std::string summary_, std::vector<Positional> positionals_,
            std::vector<Option> options_, int (*run_)(const Args&), std::string details_ = "",
            std::string positionalUsage_ = "")
        : name(std::move(name_)),
          summary(std::move(summary_)),
          positionals(std::move(positionals_)),
          options(std::move(options_)),
          run(run_),
          details(std::move(details_)),
          positionalUsage(std::move(positionalUsage_))
    {
    }
    std::string name;
    std::string summary;  // one line
    std::vector<Positional> positionals;
    std::vector<Option> options;
    int (*run)(const Args& args);
    std::string details;  // more text for --help (optional)
    // The positionals as usage shows them when one list does not say it ("FILE.raw OUT | PATH...");
    // empty: made from `positionals`.
    std::string positionalUsage;
};

bool registerCommand(Command command);
const std::vector<Command>& commands();
// "FILE.raw OUT [--start US] [--end US]"
std::string usageOf(const Command& command);

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
