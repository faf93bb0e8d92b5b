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
    case OptionValue::NonEmpty:
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
        if (option.value == OptionValue::Required || option.value == OptionValue::NonEmpty)
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
        if (option->value == OptionValue::NonEmpty && found.value->empty()) {
            line.fault = Fault(OptionFault::Kind::EmptyValue, word, option);
            break;
        }
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

std::string UsageFaultText(const OptionFault& fault) {
    switch (fault.kind) {
    case OptionFault::Kind::Unknown:
        break;
    case OptionFault::Kind::MissingValue:
    case OptionFault::Kind::EmptyValue:
        return "Option " + fault.spelled + " braucht " + fault.option->valueName;
    case OptionFault::Kind::UnwantedValue:
        return "Option " + fault.spelled + " nimmt keinen Wert";
    case OptionFault::Kind::BadNumber:
        return "'" + fault.value + "' ist für " + fault.spelled + " nicht gültig, erlaubt sind " +
               std::to_string(fault.option->number->lowest) + " bis " +
               std::to_string(fault.option->number->highest);
    }
    return "Unbekannte Option: " + fault.word;
}

std::vector<OptionWord> DefaultWords(const std::vector<ToolOption>& options) {
    std::vector<OptionWord> words;
    for (const ToolOption& option : options) {
        if (!option.defaultValue)
            continue;
        OptionWord word;
        word.option = &option;
        word.spelled = option.longName ? option.longName : option.shortName;
        word.value = option.defaultValue;
        if (option.number) {
            const auto number =
                ParseNumber(*word.value, option.number->lowest, option.number->highest);
            if (!number)
                throw std::logic_error("the default of " + word.spelled + " is out of its range");
            word.number = *number;
        }
        words.push_back(std::move(word));
    }
    return words;
}

namespace {

constexpr std::size_t kHelpWidth = 80;
// Keeps two words on one line ("NO CARRIER"); shown as a plain space.
const std::string kNoBreak = "\u00a0";

// Characters, not bytes: the help texts are UTF-8 ("Groß").
std::size_t Width(const std::string& text) {
    std::size_t width = 0;
    for (const char byte : text)
        if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80)
            ++width;
    return width;
}

// Every spelling of the option, short before long, then its value.
std::string Heading(const std::vector<ToolOption>& options, const ToolOption& first) {
    std::string heading;
    for (const ToolOption& option : options) {
        if (option.id != first.id)
            continue;
        for (const char* name : {option.shortName, option.longName}) {
            if (!name)
                continue;
            if (!heading.empty())
                heading += ", ";
            heading += name;
        }
    }
    if (*first.placeholder == '\0')
        return heading;
    if (first.value == OptionValue::Optional)
        return heading + "[=" + first.placeholder + "]";
    return heading + " " + first.placeholder;
}

std::string Filled(const ToolOption& option) {
    std::string text = option.help;
    const auto replace = [&text](const std::string& mark, const std::string& by) {
        for (std::size_t at = text.find(mark); at != std::string::npos;
             at = text.find(mark, at + by.size()))
            text.replace(at, mark.size(), by);
    };
    if (option.defaultValue)
        replace("{default}", option.defaultValue);
    if (option.number)
        replace("{range}", std::to_string(option.number->lowest) + kNoBreak + "bis" + kNoBreak +
                               std::to_string(option.number->highest));
    return text;
}

// The words of the text after the heading, as many a line as fit.
std::string Entry(const std::string& heading, const std::string& text, std::size_t column) {
    std::string entry = "  " + heading;
    std::size_t width = Width(entry);
    if (width + 2 > column) {
        entry += "\n";
        width = 0;
    }
    bool lineEmpty = true;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string word = text.substr(start, end - start);
        start = end + 1;
        if (word.empty())
            continue;
        if (!lineEmpty && width + 1 + Width(word) > kHelpWidth) {
            entry += "\n";
            width = 0;
            lineEmpty = true;
        }
        if (lineEmpty) {
            entry += std::string(column - width, ' ');
            width = column;
        } else {
            entry += ' ';
            ++width;
        }
        entry += word;
        width += Width(word);
        lineEmpty = false;
    }
    for (std::size_t at = entry.find(kNoBreak); at != std::string::npos;
         at = entry.find(kNoBreak, at + 1))
        entry.replace(at, kNoBreak.size(), " ");
    return entry + "\n";
}

} // namespace

std::string OptionHelp(const std::vector<ToolOption>& options, int section, std::size_t column) {
    std::string help;
    for (const ToolOption& option : options)
        if (option.help && option.section == section)
            help += Entry(Heading(options, option), Filled(option), column);
    return help;
}
