#include "tools/options/tool_options.h"

#include <charconv>
#include <cstring>
#include <getopt.h>

namespace {

// getopt_long's answer for a word that is not an option, in the order mode
// that a leading "-" in the short options asks for.
constexpr int kName = 1;
// Long options answer with their row's index above every character.
constexpr int kFirstLongAnswer = 256;

bool IsLongWord(const std::string& word) {
    return word.size() > 2 && word.compare(0, 2, "--") == 0;
}

// The option as written: a long option's word up to its "=", a short
// option's whole word.
std::string Spelled(const std::string& word) {
    return IsLongWord(word) ? word.substr(0, word.find('=')) : word;
}

// getopt_long takes unique abbreviations and joined or grouped short
// options; here only the whole name counts, so its answer is checked
// against the row whose name the word spells exactly.
const ToolOption* FindSpelled(const std::vector<ToolOption>& options, const std::string& word) {
    const std::string spelled = Spelled(word);
    for (const ToolOption& option : options) {
        const char* name = IsLongWord(word) ? option.longName : option.shortName;
        if (name && spelled == name)
            return &option;
    }
    return nullptr;
}

int HasArgument(OptionValue value) {
    switch (value) {
    case OptionValue::None:
        return no_argument;
    case OptionValue::Required:
        return required_argument;
    case OptionValue::Optional:
        return optional_argument;
    }
    return no_argument;
}

// "-:" first: words in order, non-options answered as kName, and a missing
// value answered as ':' apart from '?' for the other faults.
std::string ShortOptions(const std::vector<ToolOption>& options) {
    std::string shortOptions = "-:";
    for (const ToolOption& option : options) {
        if (!option.shortName)
            continue;
        shortOptions += option.shortName[1];
        if (option.value == OptionValue::Required)
            shortOptions += ":";
        else if (option.value == OptionValue::Optional)
            shortOptions += "::";
    }
    return shortOptions;
}

std::vector<option> LongOptions(const std::vector<ToolOption>& options) {
    std::vector<option> longOptions;
    for (std::size_t i = 0; i < options.size(); ++i)
        if (options[i].longName)
            longOptions.push_back({options[i].longName + 2, HasArgument(options[i].value), nullptr,
                                   kFirstLongAnswer + static_cast<int>(i)});
    longOptions.push_back({});
    return longOptions;
}

OptionFault Fault(OptionFault::Kind kind, const std::string& word,
                  const ToolOption* option = nullptr) {
    OptionFault fault;
    fault.kind = kind;
    fault.word = word;
    fault.spelled = Spelled(word);
    fault.option = option;
    return fault;
}

OptionWord Name(const std::string& word) {
    OptionWord name;
    name.spelled = word;
    return name;
}

} // namespace

CommandLine ReadCommandLine(const std::vector<std::string>& arguments,
                            const std::vector<ToolOption>& options, Names names) {
    // getopt_long wants writable words behind a program name.
    std::vector<std::string> words{"program"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());
    const std::string shortOptions = ShortOptions(options);
    const std::vector<option> longOptions = LongOptions(options);

    CommandLine line;
    opterr = 0; // the programs say what is wrong in their own words
    optind = 0; // GNU: starts afresh, even after a read stopped inside a word
    for (;;) {
        const int at = optind == 0 ? 1 : optind;
        const int answer =
            getopt_long(argc, argv.data(), shortOptions.c_str(), longOptions.data(), nullptr);
        if (answer == -1) {
            // Either every word is read or "--" ended the options.
            if (at < argc && names == Names::Refused)
                line.fault = Fault(OptionFault::Kind::Unknown, words[at]);
            else
                for (int i = optind; i < argc; ++i)
                    line.words.push_back(Name(words[i]));
            break;
        }
        const std::string& word = words[at];
        if (answer == kName) {
            if (names == Names::Refused) {
                line.fault = Fault(OptionFault::Kind::Unknown, word);
                break;
            }
            line.words.push_back(Name(word));
            continue;
        }
        const ToolOption* option = FindSpelled(options, word);
        if (!option) {
            line.fault = Fault(OptionFault::Kind::Unknown, word);
            break;
        }
        // Spelled whole, the option is the one getopt_long found; its only
        // faults left are these two.
        if (answer == ':') {
            line.fault = Fault(OptionFault::Kind::MissingValue, word, option);
            break;
        }
        if (answer == '?') {
            line.fault = Fault(OptionFault::Kind::UnwantedValue, word, option);
            break;
        }
        OptionWord found;
        found.option = option;
        found.spelled = Spelled(word);
        if (optarg)
            found.value = optarg;
        if (option->number && found.value) {
            const auto number =
                ParseNumber(*found.value, option->number->lowest, option->number->highest);
            if (!number) {
                line.fault = Fault(OptionFault::Kind::BadNumber, word, option);
                line.fault->value = *found.value;
                break;
            }
            found.number = *number;
        }
        line.words.push_back(std::move(found));
    }
    return line;
}

std::optional<long> ParseNumber(std::string_view text, long lowest, long highest) {
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return std::nullopt;
    long value = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || value < lowest || value > highest)
        return std::nullopt;
    return value;
}
