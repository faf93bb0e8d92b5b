// Reading recordings and writing picture files: bytes kept exactly, the
// refusals and their messages, files that never end or block, a write cut
// short by a file-size limit, and the write that renames a complete file into
// place.
#include "platform/files.h"
#include "platform/user_error.h"

#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <string>
#include <thread>

namespace {

std::string Slurp(const QString& path) {
    std::ifstream file(path.toStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void Store(const QString& path, const std::string& bytes) {
    std::ofstream file(path.toStdString(), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The message of the UserError the call throws; empty when it throws none.
template <typename Call> QString FailureOf(Call call) {
    try {
        call();
    } catch (const UserError& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

// Holds a lock on the file through an open file description of its own, as
// another program would.
class OtherProgramLock {
public:
    OtherProgramLock(const QString& path, int operation)
        : fd_(::open(path.toLocal8Bit().constData(), O_RDWR | O_CLOEXEC)) {
        locked_ = fd_ >= 0 && ::flock(fd_, operation | LOCK_NB) == 0;
    }
    ~OtherProgramLock() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool locked() const { return locked_; }

private:
    int fd_;
    bool locked_ = false;
};

std::string SampleBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xff);
    return bytes;
}

} // namespace

class TestFiles : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // No IgnoreFileSizeSignal() here: writing must survive the file-size
        // limit on its own.
        QVERIFY(dir_.isValid());
        IgnoreFileSizeSignal();
        // A writer whose pipe lost its reader gets EPIPE instead of the signal.
        std::signal(SIGPIPE, SIG_IGN);
    }

    void readsTextExactly_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("text");
        const QByteArray big =
            QByteArray::fromStdString(SampleBytes(20'000'001)).replace('\0', 'x');
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("line breaks, high bytes")
            << QByteArray("CAM_B\r\nFF \n\r\xff\xfe") << QByteArray("CAM_B\r\nFF \n\r\xff\xfe");
        QTest::newRow("ends at the first NUL")
            << QByteArray("CAM_B\r\n\0FF\0", 10) << QByteArray("CAM_B\r\n");
        QTest::newRow("larger than one piece read") << big << big;
        QTest::newRow("NUL beyond the first piece read") << big + QByteArray(1, '\0') + "FF" << big;
    }

    void readsTextExactly() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, text);
        const QString path = dir_.filePath("recording.txt");
        Store(path, bytes.toStdString());
        QCOMPARE(QByteArray::fromStdString(ReadRecordingFile(path.toStdString())), text);
    }

    // Files that are not regular neither block nor grow without end: a FIFO
    // nobody writes to reads as empty, /dev/zero ends at its first byte.
    void readsOtherFilesAtOnce_data() {
        QTest::addColumn<QString>("path");
        const QString fifo = dir_.filePath("fifo-lesen");
        QCOMPARE(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
        QTest::newRow("FIFO without writer") << fifo;
        QTest::newRow("endless NUL bytes") << QStringLiteral("/dev/zero");
        QTest::newRow("device without data") << QStringLiteral("/dev/null");
    }

    void readsOtherFilesAtOnce() {
        QFETCH(QString, path);
        QCOMPARE(ReadRecordingFile(path.toStdString()), std::string());
    }

    void readRefusals_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << dir_.filePath("nicht-da.txt");
        QTest::newRow("directory") << dir_.path();
        QTest::newRow("empty name") << QString();
    }

    void readRefusals() {
        QFETCH(QString, name);
        const QString message = FailureOf([&] { ReadRecordingFile(name.toStdString()); });
        QCOMPARE(message, QStringLiteral("Datei %1 kann nicht geöffnet werden").arg(name));
    }

    void refusesFileHeldForWriting() {
        const QString path = dir_.filePath("held.txt");
        Store(path, "CAM_B\r\n");
        {
            OtherProgramLock writer(path, LOCK_EX);
            QVERIFY(writer.locked());
            QCOMPARE(FailureOf([&] { ReadRecordingFile(path.toStdString()); }),
                     QStringLiteral("Datei %1 kann nicht geöffnet werden").arg(path));
        }
        QCOMPARE(ReadRecordingFile(path.toStdString()), std::string("CAM_B\r\n"));
    }

    void readsFileOthersAreReading() {
        const QString path = dir_.filePath("shared.txt");
        Store(path, "FF D8 ");
        OtherProgramLock reader(path, LOCK_SH);
        QVERIFY(reader.locked());
        QCOMPARE(ReadRecordingFile(path.toStdString()), std::string("FF D8 "));
    }

    // A text longer than the memory a recording may take ends with a message,
    // not with the process or the machine running short: a file, or a pipe
    // that never ends. The process's memory limit sets the bound.
    void refusesTextLargerThanMemory_data() {
        QTest::addColumn<bool>("endless");
        QTest::newRow("file") << false;
        QTest::newRow("endless pipe") << true;
    }

    void refusesTextLargerThanMemory() {
        QFETCH(bool, endless);
        int pipeEnds[2] = {-1, -1};
        std::thread writer;
        QString path = dir_.filePath("huge.txt");
        if (endless) {
            QCOMPARE(::pipe(pipeEnds), 0);
            path = QStringLiteral("/dev/fd/%1").arg(pipeEnds[0]);
            writer = std::thread([fd = pipeEnds[1]] {
                const std::string piece(65536, 'F');
                while (::write(fd, piece.data(), piece.size()) > 0) {
                }
            });
        } else {
            Store(path, std::string(3 << 20, 'F'));
        }
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_RSS, &saved), 0);
        rlimit lowered = saved;
        lowered.rlim_cur = 8 << 20;
        QCOMPARE(::setrlimit(RLIMIT_RSS, &lowered), 0);
        const QString message = FailureOf([&] { ReadRecordingFile(path.toStdString()); });
        QCOMPARE(::setrlimit(RLIMIT_RSS, &saved), 0);
        if (endless) {
            ::close(pipeEnds[0]); // the writer's next write fails and it stops
            writer.join();
            ::close(pipeEnds[1]);
        }
        QCOMPARE(message, QStringLiteral("Datei %1 ist zu groß für den Arbeitsspeicher").arg(path));
    }

    // Block by block, a recording reads as it does whole, with the same
    // refusals: what merlon-convert takes is what the window loads.
    void readsInBlocksAsWhole_data() {
        QTest::addColumn<QByteArray>("content"); // null: no file
        QTest::addColumn<bool>("lowMemory");
        QTest::addColumn<bool>("refused");
        QTest::newRow("empty") << QByteArray("") << false << false;
        QTest::newRow("NUL ends the text") << QByteArray("FF D8 \0D9 ", 10) << false << false;
        QByteArray blocks;
        for (int i = 0; blocks.size() < (1 << 20) + 17; ++i)
            blocks += QByteArray::number(i, 16) + ' ';
        QTest::newRow("many blocks") << blocks << false << false;
        QTest::newRow("NUL in a later block")
            << blocks + QByteArray(1, '\0') + "FF" << false << false;
        QTest::newRow("missing") << QByteArray() << false << true;
        QTest::newRow("beyond the memory bound") << QByteArray(3 << 20, 'F') << true << true;
    }

    void readsInBlocksAsWhole() {
        QFETCH(QByteArray, content);
        QFETCH(bool, lowMemory);
        QFETCH(bool, refused);
        const QString path = dir_.filePath("bloecke.txt");
        QFile::remove(path);
        if (!content.isNull())
            Store(path, content.toStdString());
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_RSS, &saved), 0);
        rlimit lowered = saved;
        lowered.rlim_cur = 8 << 20;
        if (lowMemory)
            QCOMPARE(::setrlimit(RLIMIT_RSS, &lowered), 0);
        std::string whole;
        const QString wholeMessage =
            FailureOf([&] { whole = ReadRecordingFile(path.toStdString()); });
        std::string inBlocks;
        const QString blockMessage = FailureOf([&] {
            RecordingReader reader(path.toStdString());
            for (std::string_view block = reader.next(); !block.empty(); block = reader.next())
                inBlocks += block;
        });
        QCOMPARE(::setrlimit(RLIMIT_RSS, &saved), 0);
        QCOMPARE(blockMessage, wholeMessage);
        QCOMPARE(!blockMessage.isEmpty(), refused);
        if (!refused) // refused, what came before is thrown away by the caller
            QVERIFY(inBlocks == whole);
    }

    // Another program cuts the file while it is read: the text as it was, the
    // text as it is now, or a message; never a mix, never a crash.
    void fileCutWhileRead() {
        const QString path = dir_.filePath("cut.txt");
        const std::string whole(64 << 20, 'F');
        constexpr std::size_t kCut = 1 << 20;
        int messages = 0;
        for (int attempt = 0; attempt < 5; ++attempt) {
            Store(path, whole);
            int cut = -1;
            std::thread cutter([&] { cut = ::truncate(path.toLocal8Bit().constData(), kCut); });
            std::string text;
            const QString message =
                FailureOf([&] { text = ReadRecordingFile(path.toStdString()); });
            cutter.join();
            QCOMPARE(cut, 0);
            if (!message.isEmpty()) {
                QCOMPARE(message,
                         QStringLiteral("Datei %1 wurde während des Lesens gekürzt").arg(path));
                ++messages;
            } else {
                QVERIFY(text.size() == whole.size() || text.size() == kCut);
            }
        }
        qInfo("cut while read in %d of 5 attempts", messages);
    }

    void writesBytesExactly_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("JPEG-like bytes") << QByteArray("\xff\xd8\0\r\n\x1a\xff\xd9", 8);
        QTest::newRow("several megabytes") << QByteArray::fromStdString(SampleBytes(5'000'000));
    }

    void writesBytesExactly() {
        QFETCH(QByteArray, bytes);
        const QString path = dir_.filePath("bild.jpg");
        WriteFileReplacing(path.toStdString(), std::string_view(bytes.constData(), bytes.size()));
        QVERIFY(QFile::exists(path));
        QCOMPARE(QByteArray::fromStdString(Slurp(path)), bytes);
    }

    void replacesLongerFile() {
        const QString path = dir_.filePath("replaced.jpg");
        Store(path, std::string(10000, 'x'));
        WriteFileReplacing(path.toStdString(), "abc");
        QCOMPARE(Slurp(path), std::string("abc"));
    }

    void createsWithModeLessUmask() {
        const QString path = dir_.filePath("mode.jpg");
        const mode_t saved = ::umask(027);
        WriteFileReplacing(path.toStdString(), "x");
        ::umask(saved);
        struct stat status {};
        QCOMPARE(::stat(path.toLocal8Bit().constData(), &status), 0);
        QCOMPARE(status.st_mode & 0777, mode_t{0640});
    }

    void createRefusals_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shownName");
        QTest::newRow("empty name") << QString() << QString();
        QTest::newRow("directory") << dir_.path() << dir_.path();
        QTest::newRow("missing directory")
            << dir_.filePath("fehlt/bild.jpg") << dir_.filePath("fehlt/bild.jpg");
        // Cut at the NUL, the name would be another file: "bild" here.
        QTest::newRow("NUL in the name")
            << dir_.filePath(QStringLiteral("bild") + QChar(0) + QStringLiteral(".jpg"))
            << dir_.filePath("bild");
        const QString fifo = dir_.filePath("fifo-schreiben");
        QCOMPARE(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
        // The atomic write puts a picture in its place instead: no wait either.
        QTest::newRow("FIFO without reader") << fifo << fifo;
    }

    void createRefusals() {
        QFETCH(QString, name);
        QFETCH(QString, shownName);
        const QString expected =
            QStringLiteral("Datei %1 kann nicht erstellt werden").arg(shownName);
        QCOMPARE(FailureOf([&] { WriteFileReplacing(name.toStdString(), "FF"); }), expected);
        const bool fifo = QFileInfo(name).fileName() == QStringLiteral("fifo-schreiben");
        QCOMPARE(FailureOf([&] { WriteFileAtomically(name.toStdString(), "FF"); }),
                 fifo ? QString() : expected);
        QVERIFY(!QFileInfo::exists(dir_.filePath("bild")));
    }

    // Under the name there is the old file or the whole new one, and no part
    // file is left beside it, whether the write completes or stops short.
    void atomicWriteShowsNoPart_data() {
        QTest::addColumn<bool>("cutShort");
        QTest::newRow("complete") << false;
        QTest::newRow("disk full") << true;
    }
    void atomicWriteShowsNoPart() {
        QFETCH(bool, cutShort);
        QTemporaryDir folder;
        const QString path = folder.filePath("bild.jpg");
        const std::string old = SampleBytes(3000);
        Store(path, old);
        const std::string bytes = SampleBytes(100000);

        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit lowered = saved;
        lowered.rlim_cur = 4096;
        if (cutShort)
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
        const mode_t savedMask = ::umask(027);
        const QString message = FailureOf([&] { WriteFileAtomically(path.toStdString(), bytes); });
        ::umask(savedMask);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &saved), 0);

        QCOMPARE(message, cutShort ? QStringLiteral("Stream-Write-Fehler") : QString());
        QVERIFY(Slurp(path) == (cutShort ? old : bytes));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("bild.jpg")});
        struct stat status {};
        QCOMPARE(::stat(path.toLocal8Bit().constData(), &status), 0);
        if (!cutShort)
            QCOMPARE(status.st_mode & 0777, mode_t{0640});
    }

    // A new picture never replaces a file: a taken name gets "_2", also when
    // the file appears only while the picture is being written, whichever
    // way the file system lets it be published.
    void newFileNeverReplaces_data() {
        QTest::addColumn<int>("method");
        QTest::addColumn<QString>("taken");    // files there before: "" none, "1", "12"
        QTest::addColumn<bool>("appearsLate"); // "bild.jpg" made once the name is asked for
        QTest::addColumn<QString>("published");
        for (const auto& [method, name] :
             {std::pair{PublishMethod::Best, "rename"},
              std::pair{PublishMethod::LinkThenUnlink, "link"},
              std::pair{PublishMethod::ReserveThenRename, "reserve"}}) {
            const int m = static_cast<int>(method);
            QTest::addRow("%s: free", name) << m << "" << false << "bild.jpg";
            QTest::addRow("%s: taken", name) << m << "1" << false << "bild_2.jpg";
            QTest::addRow("%s: two taken", name) << m << "12" << false << "bild_3.jpg";
            QTest::addRow("%s: appears after the name was chosen", name)
                << m << "" << true << "bild_2.jpg";
        }
    }
    void newFileNeverReplaces() {
        QFETCH(int, method);
        QFETCH(QString, taken);
        QFETCH(bool, appearsLate);
        QTemporaryDir folder;
        auto nameFor = [&](int number) {
            return folder
                .filePath(number == 1 ? QStringLiteral("bild.jpg")
                                      : QStringLiteral("bild_%1.jpg").arg(number))
                .toStdString();
        };
        for (const QChar number : taken)
            Store(QString::fromStdString(nameFor(number.digitValue())), "alt");
        const std::string bytes = SampleBytes(5000);
        bool madeLate = false;
        const std::string published = WriteNewFile(
            [&](int number) {
                if (appearsLate && !madeLate) {
                    madeLate = true;
                    Store(QString::fromStdString(nameFor(1)), "alt");
                }
                return nameFor(number);
            },
            bytes, static_cast<PublishMethod>(method));
        QTEST(QString::fromStdString(published).section(u'/', -1), "published");
        QVERIFY(Slurp(QString::fromStdString(published)) == bytes);
        QStringList others = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
        others.removeOne(QString::fromStdString(published).section(u'/', -1));
        QCOMPARE(others.size(), taken.size() + (appearsLate ? 1 : 0)); // no part file left
        for (const QString& other : others)
            QVERIFY(Slurp(folder.filePath(other)) == "alt");
    }

    // Files that belong together get one number: where any of their names
    // is taken, all of them move on to the next, and nothing there changes.
    void newFilesShareTheirNumber_data() {
        QTest::addColumn<int>("method");
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QStringList>("published");
        for (const auto& [method, name] :
             {std::pair{PublishMethod::Best, "rename"},
              std::pair{PublishMethod::LinkThenUnlink, "link"},
              std::pair{PublishMethod::ReserveThenRename, "reserve"}}) {
            const int m = static_cast<int>(method);
            QTest::addRow("%s: free", name)
                << m << QStringList() << QStringList{"bild.jpg", "bild.txt"};
            QTest::addRow("%s: the first taken", name)
                << m << QStringList{"bild.jpg"} << QStringList{"bild_2.jpg", "bild_2.txt"};
            QTest::addRow("%s: the second taken, then the first", name)
                << m << QStringList{"bild.txt", "bild_2.jpg"}
                << QStringList{"bild_3.jpg", "bild_3.txt"};
        }
    }
    void newFilesShareTheirNumber() {
        QFETCH(int, method);
        QFETCH(QStringList, taken);
        QFETCH(QStringList, published);
        QTemporaryDir folder;
        for (const QString& name : taken)
            Store(folder.filePath(name), "alt");
        const std::string picture = SampleBytes(5000);
        const std::string text = "CAM_B FF D8 CAM_E";
        const std::vector<std::string> names = WriteNewFiles(
            [&](int number) {
                const QString base =
                    number == 1 ? QStringLiteral("bild") : QStringLiteral("bild_%1").arg(number);
                return std::vector<std::string>{folder.filePath(base + ".jpg").toStdString(),
                                                folder.filePath(base + ".txt").toStdString()};
            },
            {picture, text}, static_cast<PublishMethod>(method));
        QCOMPARE(names.size(), std::size_t(2));
        QCOMPARE(QString::fromStdString(names[0]), folder.filePath(published[0]));
        QCOMPARE(QString::fromStdString(names[1]), folder.filePath(published[1]));
        QVERIFY(Slurp(folder.filePath(published[0])) == picture);
        QVERIFY(Slurp(folder.filePath(published[1])) == text);
        QStringList expected = taken + published;
        expected.sort();
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
        for (const QString& name : taken)
            QVERIFY(Slurp(folder.filePath(name)) == "alt");
    }

    // A limit on file size stands in for a full disk: the write stops short.
    void shortWriteKeepsWhatWasWritten() {
        const QString path = dir_.filePath("limited.jpg");
        const std::string bytes = SampleBytes(100000);
        constexpr rlim_t kAllowed = 4096 + 123;

        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit lowered = saved;
        lowered.rlim_cur = kAllowed;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
        const QString message = FailureOf([&] { WriteFileReplacing(path.toStdString(), bytes); });
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &saved), 0);

        QCOMPARE(message, QStringLiteral("Stream-Write-Fehler"));
        QVERIFY(Slurp(path) == bytes.substr(0, kAllowed));
    }

    // A failed write keeps the program's message and carries beside it the
    // file meant and the cause, in German whatever the locale.
    void writeFailureNamesFileAndCause_data() {
        QTest::addColumn<QString>("path"); // empty: a new file in a folder of its own
        QTest::addColumn<bool>("limited");
        QTest::addColumn<QString>("cause");
        QTest::newRow("full disk") << "/dev/full" << false
                                   << "Auf dem Gerät ist kein Speicherplatz mehr verfügbar";
        QTest::newRow("file-size limit") << "" << true << "Die Datei ist zu groß";
    }
    void writeFailureNamesFileAndCause() {
        QFETCH(QString, path);
        QFETCH(bool, limited);
        QFETCH(QString, cause);
        QTemporaryDir folder;
        const std::string name =
            path.isEmpty() ? folder.filePath("Hof_1.jpg").toStdString() : path.toStdString();
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit lowered = saved;
        lowered.rlim_cur = 4096;
        if (limited)
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
        std::optional<WriteError> failure;
        try {
            if (path.isEmpty())
                WriteNewFile([&](int) { return name; }, SampleBytes(100000));
            else
                WriteFileReplacing(name, SampleBytes(100000));
        } catch (const WriteError& error) {
            failure = error;
        }
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &saved), 0);
        QVERIFY(failure);
        QCOMPARE(QString::fromUtf8(failure->what()), QStringLiteral("Stream-Write-Fehler"));
        QCOMPARE(QString::fromStdString(DescribeFailure(*failure)),
                 "Datei " + QString::fromStdString(name) + " kann nicht geschrieben werden: " +
                     cause);
    }

    // The picture's path as the system finds it: through a link and "..",
    // where a path shortened by its text alone would name another file.
    void resolvedPathFollowsLinks() {
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkpath("srv/a/b"));
        QVERIFY(QFile::link(folder.filePath("srv/a/b"), folder.filePath("srv/ln")));
        const std::string through = folder.filePath("srv/ln/../Hof_1.jpg").toStdString();
        const QString real = QFileInfo(folder.filePath("srv/a")).canonicalFilePath();
        QCOMPARE(QString::fromStdString(ResolvedPath(through)), real + "/Hof_1.jpg");
    }

private:
    QTemporaryDir dir_;
};

QTEST_APPLESS_MAIN(TestFiles)
#include "test_files.moc"
