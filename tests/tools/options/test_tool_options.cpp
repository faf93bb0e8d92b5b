// The command-line reading the programs beside the tool share: options in
// order with their values, whole names only, names among the options, the
// first fault; the one rule for numbers; the words of each fault, the
// defaults and the option lists of --help made from the table.
#include "tools/options/tool_options.h"

#include <QtTest>

#include <climits>

namespace {

enum TestOptionId { Flag, Text, Count, Maybe, Name };
const char* const kIdNames[] = {"Flag", "Text", "Count", "Maybe", "Name"};

const std::vector<ToolOption> kTable = {
    {Flag, "-f", "--flagge"},
    {Flag, nullptr, "--fläche"},
    {Text, "-t", "--text", OptionValue::Required, "einen Text"},
    {Count, "-c", "--anzahl", OptionValue::Required, "eine Anzahl", NumberRange{1, 100}},
    {Maybe, nullptr, "--vielleicht", OptionValue::Optional, "eine Zahl", NumberRange{1, 9}},
    {Name, "-n", "--name", OptionValue::NonEmpty, "einen Namen"},
};

std::vector<std::string> Words(const QStringList& arguments) {
    std::vector<std::string> words;
    for (const QString& argument : arguments)
        words.push_back(argument.toStdString());
    return words;
}

// A table for --help: each shape of an entry, in two sections.
const std::vector<ToolOption> kHelpTable = {
    {Flag, "-f", "--flagge", OptionValue::None, "", std::nullopt, "", nullptr, "setzt die Flagge"},
    {Flag, nullptr, "--fläche"},
    {Count, "-c", nullptr, OptionValue::Required, "eine Anzahl", NumberRange{1, 100}, "N", "7",
     "so viele ({range}, Vorgabe {default})"},
    {Text, nullptr, "--text", OptionValue::Required, "einen Text", std::nullopt, "TEXT", nullptr,
     "ein Text, der so lang ist, dass er auf der nächsten Zeile weitergeht, am Rand "
     "ausgerichtet; NO\u00a0CARRIER bleibt beisammen"},
    {Maybe, nullptr, "--vielleicht", OptionValue::Optional, "", NumberRange{1, 9}, "N", nullptr,
     "mit oder ohne Zahl", 1},
    {Name, nullptr, "--ein-sehr-langer-name", OptionValue::None, "", std::nullopt, "", nullptr,
     "steht darunter", 1},
    {Name + 1, nullptr, "--ohne-hilfe", OptionValue::None, "", std::nullopt, "", nullptr, nullptr,
     1},
};

// What was read, in one line: "Count:-c=7#7" for an option (id, spelling,
// value, number), 'a' for a name, and after a bar the fault.
QString Rendered(const CommandLine& line) {
    QStringList parts;
    for (const OptionWord& word : line.words) {
        if (!word.option) {
            parts << "'" + QString::fromStdString(word.spelled) + "'";
            continue;
        }
        QString part =
            kIdNames[word.option->id] + QStringLiteral(":") + QString::fromStdString(word.spelled);
        if (word.value)
            part += "=" + QString::fromStdString(*word.value);
        if (word.option->number && word.value)
            part += "#" + QString::number(word.number);
        parts << part;
    }
    if (const auto& fault = line.fault) {
        static const char* const kKinds[] = {"unbekannt", "fehlt", "zu viel", "keine Zahl", "leer"};
        parts << "|" << kKinds[static_cast<int>(fault->kind)]
              << QString::fromStdString(fault->kind == OptionFault::Kind::Unknown ? fault->word
                                                                                  : fault->spelled);
        if (fault->kind == OptionFault::Kind::BadNumber)
            parts << QString::fromStdString(fault->value);
    }
    return parts.join(' ');
}

} // namespace

class TestToolOptions : public QObject {
    Q_OBJECT

private slots:
    void readsCommandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("names");
        QTest::addColumn<QString>("read");

        QTest::newRow("nothing") << QStringList{} << false << "";
        QTest::newRow("short, long and an alias") << QStringList{"-f", "--flagge", "--fläche"}
                                                  << false << "Flag:-f Flag:--flagge Flag:--fläche";
        QTest::newRow("value as the next word, whatever it is")
            << QStringList{"-t", "-f", "--text", "--", "-t", ""} << false
            << "Text:-t=-f Text:--text=-- Text:-t=";
        QTest::newRow("value after =")
            << QStringList{"--text=a=b", "--text="} << false << "Text:--text=a=b Text:--text=";
        QTest::newRow("numbers") << QStringList{"-c", "7", "--anzahl=100", "-c", "007"} << false
                                 << "Count:-c=7#7 Count:--anzahl=100#100 Count:-c=007#7";
        QTest::newRow("optional value only after =")
            << QStringList{"--vielleicht", "--vielleicht=3", "3"} << true
            << "Maybe:--vielleicht Maybe:--vielleicht=3#3 '3'";
        QTest::newRow("names among the options")
            << QStringList{"a", "-f", "-", "", "b=c"} << true << "'a' Flag:-f '-' '' 'b=c'";
        QTest::newRow("-- ends the options") << QStringList{"-f", "--", "-f", "--", "--text"}
                                             << true << "Flag:-f '-f' '--' '--text'";
        QTest::newRow("a name where none is taken")
            << QStringList{"-f", "a", "-f"} << false << "Flag:-f | unbekannt a";
        QTest::newRow("-- where no name is taken")
            << QStringList{"-f", "--", "-f"} << false << "Flag:-f | unbekannt --";
        QTest::newRow("- where no name is taken") << QStringList{"-"} << false << "| unbekannt -";
        QTest::newRow("abbreviation") << QStringList{"--fla"} << false << "| unbekannt --fla";
        QTest::newRow("abbreviation with a value")
            << QStringList{"--te=x"} << false << "| unbekannt --te=x";
        QTest::newRow("abbreviation before its value")
            << QStringList{"--anz", "5"} << false << "| unbekannt --anz";
        QTest::newRow("grouped short options") << QStringList{"-ft"} << false << "| unbekannt -ft";
        QTest::newRow("value joined to a short option")
            << QStringList{"-tabc"} << false << "| unbekannt -tabc";
        QTest::newRow("short option with =") << QStringList{"-t=a"} << false << "| unbekannt -t=a";
        QTest::newRow("unknown long")
            << QStringList{"--nichts=1"} << true << "| unbekannt --nichts=1";
        QTest::newRow("unknown short") << QStringList{"-x"} << true << "| unbekannt -x";
        QTest::newRow("three dashes")
            << QStringList{"---flagge"} << true << "| unbekannt ---flagge";
        QTest::newRow("no name before =") << QStringList{"--=x"} << true << "| unbekannt --=x";
        QTest::newRow("value on a flag")
            << QStringList{"--flagge=1"} << false << "| zu viel --flagge";
        QTest::newRow("empty value on a flag")
            << QStringList{"--fläche="} << false << "| zu viel --fläche";
        QTest::newRow("value missing at the end")
            << QStringList{"-f", "--text"} << false << "Flag:-f | fehlt --text";
        QTest::newRow("short value missing") << QStringList{"-c"} << false << "| fehlt -c";
        QTest::newRow("number out of range")
            << QStringList{"-c", "0"} << false << "| keine Zahl -c 0";
        QTest::newRow("negative number")
            << QStringList{"--anzahl=-5"} << false << "| keine Zahl --anzahl -5";
        QTest::newRow("optional number not a number")
            << QStringList{"--vielleicht="} << false << "| keine Zahl --vielleicht ";
        QTest::newRow("empty text where text is needed")
            << QStringList{"-n", "", "-f"} << false << "| leer -n";
        QTest::newRow("empty text after =")
            << QStringList{"--name=", "-f"} << false << "| leer --name";
        QTest::newRow("stops at the first fault")
            << QStringList{"-f", "--nichts", "-t"} << false << "Flag:-f | unbekannt --nichts";
    }

    // Read twice: each read starts afresh, whatever the one before left.
    void readsCommandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, names);
        QFETCH(QString, read);
        const std::vector<std::string> words = Words(arguments);
        const Names mode = names ? Names::Accepted : Names::Refused;
        QCOMPARE(Rendered(ReadCommandLine(words, kTable, mode)), read);
        QCOMPARE(Rendered(ReadCommandLine(words, kTable, mode)), read);
    }

    // One wording of each fault for every program, from the fault alone.
    void wordsEachFault_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown") << QStringList{"--nichts=1"} << "Unbekannte Option: --nichts=1";
        QTest::newRow("a name where none is taken") << QStringList{"a"} << "Unbekannte Option: a";
        QTest::newRow("missing value")
            << QStringList{"--text"} << "Option --text braucht einen Text";
        QTest::newRow("unwanted value")
            << QStringList{"--fläche=ja"} << "Option --fläche nimmt keinen Wert";
        QTest::newRow("bad number")
            << QStringList{"-c", "0"} << "'0' ist für -c nicht gültig, erlaubt sind 1 bis 100";
        QTest::newRow("empty optional number")
            << QStringList{"--vielleicht="}
            << "'' ist für --vielleicht nicht gültig, erlaubt sind 1 bis 9";
        QTest::newRow("empty text")
            << QStringList{"--name="} << "Option --name braucht einen Namen";
    }

    void wordsEachFault() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const CommandLine line = ReadCommandLine(Words(arguments), kTable, Names::Refused);
        QVERIFY(line.fault);
        QCOMPARE(QString::fromStdString(UsageFaultText(*line.fault)), message);
    }

    void makesHelpFromTheTable_data() {
        QTest::addColumn<int>("section");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("help");
        QTest::newRow("spellings, values, defaults, ranges, wrapping")
            << 0 << 20
            << "  -f, --flagge, --fläche\n"
               "                    setzt die Flagge\n"
               "  -c N              so viele (1 bis 100, Vorgabe 7)\n"
               "  --text TEXT       ein Text, der so lang ist, dass er auf der nächsten Zeile\n"
               "                    weitergeht, am Rand ausgerichtet; NO CARRIER bleibt\n"
               "                    beisammen\n";
        QTest::newRow("optional value, a heading too long for its column, no help")
            << 1 << 24
            << "  --vielleicht[=N]      mit oder ohne Zahl\n"
               "  --ein-sehr-langer-name\n"
               "                        steht darunter\n";
    }

    void makesHelpFromTheTable() {
        QFETCH(int, section);
        QFETCH(int, column);
        QFETCH(QString, help);
        QCOMPARE(QString::fromStdString(
                     OptionHelp(kHelpTable, section, static_cast<std::size_t>(column))),
                 help);
    }

    // The defaults come as if given, in the table's order; one its own row
    // refuses is a fault of the table.
    void handsOutDefaults() {
        QCOMPARE(Rendered(CommandLine{DefaultWords(kHelpTable), std::nullopt}), "Count:-c=7#7");
        const std::vector<ToolOption> wrong = {
            {Count, nullptr, "--anzahl", OptionValue::Required, "", NumberRange{1, 5}, "N", "9"}};
        QVERIFY_THROWS_EXCEPTION(std::logic_error, DefaultWords(wrong));
    }

    void parsesNumbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qlonglong>("lowest");
        QTest::addColumn<qlonglong>("highest");
        QTest::addColumn<QString>("number"); // empty: refused

        QTest::newRow("lowest") << "0" << 0LL << 5LL << "0";
        QTest::newRow("highest") << "5" << 0LL << 5LL << "5";
        QTest::newRow("above") << "6" << 0LL << 5LL << "";
        QTest::newRow("below") << "4" << 5LL << 8LL << "";
        QTest::newRow("leading zeros") << "007" << 0LL << 10LL << "7";
        QTest::newRow("minus, in range") << "-1" << -5LL << 5LL << "";
        QTest::newRow("minus zero") << "-0" << 0LL << 5LL << "";
        QTest::newRow("plus") << "+1" << 0LL << 5LL << "";
        QTest::newRow("leading space") << " 1" << 0LL << 5LL << "";
        QTest::newRow("leading tab") << "\t1" << 0LL << 5LL << "";
        QTest::newRow("trailing space") << "1 " << 0LL << 5LL << "";
        QTest::newRow("empty") << "" << 0LL << 5LL << "";
        QTest::newRow("trailing letter") << "1x" << 0LL << 5LL << "";
        QTest::newRow("hexadecimal") << "0x1" << 0LL << 5LL << "";
        QTest::newRow("largest") << "9223372036854775807" << 0LL << qlonglong(LONG_MAX)
                                 << "9223372036854775807";
        QTest::newRow("overflow") << "9223372036854775808" << 0LL << qlonglong(LONG_MAX) << "";
    }

    void parsesNumbers() {
        QFETCH(QString, text);
        QFETCH(qlonglong, lowest);
        QFETCH(qlonglong, highest);
        QFETCH(QString, number);
        const auto parsed =
            ParseNumber(text.toStdString(), static_cast<long>(lowest), static_cast<long>(highest));
        QCOMPARE(parsed ? QString::number(*parsed) : QString(), number);
    }
};

QTEST_APPLESS_MAIN(TestToolOptions)
#include "test_tool_options.moc"
