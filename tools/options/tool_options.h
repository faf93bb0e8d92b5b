// The command lines of the programs beside the tool (merlon-convert,
// merlon-capture, merlon-board-sim): each program lists its options in one
// table, this unit reads the words with getopt_long and hands back the
// options found, in order, and the first fault; the program words its own
// messages. One rule for numbers holds for all three.
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

#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class OptionValue {
    None,     // a flag: "--name=value" is refused
    Required, // the value follows as "=value" or as the next word
    Optional, // only as "=value"; the next word is never taken
};

struct NumberRange {
    long lowest;
    long highest;
};

// One row of a program's table. Rows sharing an id are spellings of one
// option (an alias such as "--groß" beside "--gross").
struct ToolOption {
    int id;                // the program's own number for the option
    const char* shortName; // "-p", or nullptr
    const char* longName;  // "--port", or nullptr
    OptionValue value = OptionValue::None;
    const char* valueName = ""; // what the value is, for messages: "einen Port"
    // When set, the value must be a number in this range (ParseNumber).
    std::optional<NumberRange> number = std::nullopt;
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
