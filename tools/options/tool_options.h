// The command lines of the programs beside the tool (merlon-convert,
// merlon-capture, merlon-board-sim): each program lists its options in one
// table (name, value, range, default, help text), this unit reads the words
// with getopt_long and hands back the options found, in order, and the first
// fault. It also words each fault, the same way for all three programs, makes
// the option lists of their --help from the table, and hands out the
// defaults as if they had been given. One rule for numbers holds for all
// three.
//
// What every program shares: an option is written whole ("--port", never an
// abbreviation such as "--po"; "-p" alone, never grouped "-ph" or joined
// "-pCOM1"); a long option takes its value as "--name=value" or as the next
// word, whatever that word looks like; a short option as the next word. A
// number is decimal digits only (no sign, no space) within the option's
// range.
//
// Adding an option: one row in the program's table, one case where the
// program handles what was found. No Qt here.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

enum class OptionValue {
    None,     // a flag: "--name=value" is refused
    Required, // the value follows as "=value" or as the next word
    NonEmpty, // as Required, and an empty value is a fault: a name, a path
    Optional, // only as "=value"; the next word is never taken
};

struct NumberRange {
    long lowest;
    long highest;
};

// One row of a program's table. Rows sharing an id are spellings of one
// option (an alias such as "--groß" beside "--gross"); the first of them
// carries the default and the help, and --help lists them on one line.
struct ToolOption {
    int id;                // the program's own number for the option
    const char* shortName; // "-p", or nullptr
    const char* longName;  // "--port", or nullptr
    OptionValue value = OptionValue::None;
    const char* valueName = ""; // what the value is, for messages: "einen Port"
    // When set, the value must be a number in this range (ParseNumber).
    std::optional<NumberRange> number = std::nullopt;
    const char* placeholder = ""; // the value in --help: "PORT" ("[=N]" when optional)
    // The value the program starts with, as written on a command line: the
    // program reads it as if given first (DefaultWords), and --help shows it.
    const char* defaultValue = nullptr;
    // The entry in --help; "{default}" and "{range}" ("1 bis 100") in it
    // stand for the row's own. nullptr: not listed (or an alias).
    const char* help = nullptr;
    int section = 0; // which of the program's lists in --help it is in
};

// An option as found on the command line, or a word that is not an option.
struct OptionWord {
    const ToolOption* option = nullptr; // nullptr: a name, in `spelled`
    std::string spelled;                // the option as written, without "=value"
    std::optional<std::string> value;
    long number = 0; // the value read as a number, for rows with a range
};

struct OptionFault {
    enum class Kind {
        Unknown,       // no option is written so: `word`
        MissingValue,  // the last word is an option that needs a value
        UnwantedValue, // "--flag=value"
        BadNumber,     // `value` is not a number in the option's range
        EmptyValue,    // an empty value for an option that needs text (NonEmpty)
    };
    Kind kind = Kind::Unknown;
    std::string word;                   // the whole word as given
    std::string spelled;                // the option as written, without "=value"
    const ToolOption* option = nullptr; // for every kind but Unknown
    std::string value;
};

struct CommandLine {
    std::vector<OptionWord> words;    // as given, up to the first fault
    std::optional<OptionFault> fault; // reading stopped there
};

enum class Names {
    Refused,  // every word must be an option: any other is Unknown, "--" too
    Accepted, // words that are not options are names, in order among the
              // options; "--" ends the options, and what follows are names
};

// Reads the words after the program name. "-" alone is never an option.
// Uses getopt_long's global state: not for two threads at once; each call
// starts afresh.
CommandLine ReadCommandLine(const std::vector<std::string>& arguments,
                            const std::vector<ToolOption>& options, Names names);

// The text as a number if it is decimal digits only, with no sign and no
// space (a leading "-", "+" or blank is refused), and lies in the range.
std::optional<long> ParseNumber(std::string_view text, long lowest, long highest);

// The fault in the words all three programs use, without the program's name:
// "Option --port braucht einen Port".
std::string UsageFaultText(const OptionFault& fault);

// A command line that is wrong, with the German message that says why; the
// program prints it with its name and its usage and exits with 2.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

// The defaults of the table, as if each had been given before the command
// line, in the table's order: the program handles them as it handles what
// it reads, so a default lives in its row alone. A default that its own row
// refuses is a fault of the table (std::logic_error).
std::vector<OptionWord> DefaultWords(const std::vector<ToolOption>& options);

// The entries of one section of the table for --help, in the table's order:
// the spellings and the value ("  -p, --port PORT"), then from `column` on
// the help text, wrapped to lines of at most 80 characters.
std::string OptionHelp(const std::vector<ToolOption>& options, int section, std::size_t column);
