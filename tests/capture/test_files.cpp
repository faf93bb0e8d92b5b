// Reading recordings and writing picture files: bytes kept exactly, the
// refusals and their messages, a write cut short by a file-size limit, and
// the write that renames a complete file into place.
#include "platform/files.h"
#include "platform/user_error.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

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
    }

    void readsBytesExactly_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("line breaks, NUL, high bytes")
            << QByteArray("CAM_B\r\n\0FF \n\r\xff\xfe", 14);
        QTest::newRow("several megabytes") << QByteArray::fromStdString(SampleBytes(3'000'001));
    }

    void readsBytesExactly() {
        QFETCH(QByteArray, bytes);
        const QString path = dir_.filePath("recording.txt");
        Store(path, bytes.toStdString());
        QCOMPARE(QByteArray::fromStdString(ReadRecordingFile(path.toStdString())), bytes);
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

    // A recording larger than the memory the process may take ends with a
    // message, not with the process.
    void refusesFileLargerThanMemory() {
        const QString path = dir_.filePath("huge.txt");
        {
            QFile huge(path);
            QVERIFY(huge.open(QIODevice::WriteOnly));
            QVERIFY(huge.resize(qint64{2} << 30)); // sparse: takes no disk space
        }
        long pages = 0;
        {
            std::ifstream statm("/proc/self/statm");
            statm >> pages;
        }
        QVERIFY(pages > 0);
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_AS, &saved), 0);
        rlimit lowered = saved;
        lowered.rlim_cur =
            static_cast<rlim_t>(pages) * ::sysconf(_SC_PAGESIZE) + (rlim_t{256} << 20);
        QCOMPARE(::setrlimit(RLIMIT_AS, &lowered), 0);
        const QString message = FailureOf([&] { ReadRecordingFile(path.toStdString()); });
        QCOMPARE(::setrlimit(RLIMIT_AS, &saved), 0);
        QCOMPARE(message, QStringLiteral("Datei %1 ist zu groß für den Arbeitsspeicher").arg(path));
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
    }

    void createRefusals() {
        QFETCH(QString, name);
        QFETCH(QString, shownName);
        const QString expected =
            QStringLiteral("Datei %1 kann nicht erstellt werden").arg(shownName);
        QCOMPARE(FailureOf([&] { WriteFileReplacing(name.toStdString(), "FF"); }), expected);
        QCOMPARE(FailureOf([&] { WriteFileAtomically(name.toStdString(), "FF"); }), expected);
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

private:
    QTemporaryDir dir_;
};

QTEST_APPLESS_MAIN(TestFiles)
#include "test_files.moc"
