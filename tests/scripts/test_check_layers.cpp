// scripts/check-layers.sh on a copy of the tree: it passes the tree as it is,
// and fails on an include the layers of docs/ARCHITECTURE.md do not allow,
// naming the file and the line, or on a drawing whose arrows run in a circle.
#include <QtTest>
#include <functional>

namespace {

const QString kSourceDir = QStringLiteral(MERLON_SOURCE_DIR);
const QString kDocument = QStringLiteral("docs/ARCHITECTURE.md");

// Everything of the checkout but its build folders and its history.
bool CopyTree(const QString& into) {
    const QStringList entries =
        QDir(kSourceDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    QStringList arguments{"-r"};
    for (const QString& entry : entries)
        if (!entry.startsWith("build") && entry != ".git")
            arguments << kSourceDir + '/' + entry;
    arguments << into;
    return QProcess::execute("cp", arguments) == 0;
}

bool Edit(const QString& path, const std::function<QByteArray(QByteArray)>& change) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray changed = change(file.readAll());
    file.close();
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(changed) == changed.size();
}

} // namespace

class CheckLayersTest : public QObject {
    Q_OBJECT
private slots:
    void includesAreHeldToTheDocument_data() {
        QTest::addColumn<QString>("file");           // empty: the tree as it is
        QTest::addColumn<QByteArray>("plantedLine"); // put before the file's first line
        QTest::addColumn<QByteArray>("drawingLine"); // replaced by the next column
        QTest::addColumn<QByteArray>("drawingInstead");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("expected"); // in the output
        const QByteArray none;
        QTest::newRow("the tree as it is")
            << QString() << none << none << none << 0 << "keep to docs/ARCHITECTURE.md";
        QTest::newRow("upward") << "capture/hex_capture.cpp"
                                << QByteArray("#include \"camera/terminal.h\"") << none << none << 1
                                << "capture/hex_capture.cpp:1: #include \"camera/terminal.h\"";
        QTest::newRow("beside, without an arrow")
            << "serial/integer_field.cpp" << QByteArray("#include \"capture/hex_capture.h\"")
            << none << none << 1 << "serial/integer_field.cpp:1:";
        QTest::newRow("Qt in platform")
            << "platform/files.cpp" << QByteArray("#include <QString>") << none << none << 1
            << "platform/files.cpp:1: #include <QString>: QtCore";
        QTest::newRow("Qt in capture")
            << "capture/recording_text.h" << QByteArray("#include <QtCore/QByteArray>") << none
            << none << 1 << "capture/recording_text.h:1:";
        QTest::newRow("Qt Widgets below the windows")
            << "camera/terminal.cpp" << QByteArray("#include <QWidget>") << none << none << 1
            << "camera/terminal.cpp:1: #include <QWidget>: QtWidgets";
        QTest::newRow("termios outside platform")
            << "windows/Unit2.cpp" << QByteArray("#include <termios.h>") << none << none << 1
            << "windows/Unit2.cpp:1: #include <termios.h>";
        QTest::newRow("libjpeg outside merlon_jpeg")
            << "picture/picture_view.cpp" << QByteArray("  #  include <jpeglib.h>") << none << none
            << 1 << "picture/picture_view.cpp:1:";
        QTest::newRow("arrow taken from the drawing")
            << QString() << none << QByteArray("    serial --> platform & uerr\n")
            << QByteArray("    serial --> uerr\n") << 1 << "serial may not use platform";
        QTest::newRow("arrow without an include")
            << QString() << none << QByteArray("    app --> windows\n")
            << QByteArray("    app --> windows & capture\n") << 1 << "app --> capture";
        QTest::newRow("circle in the drawing")
            << QString() << none << QByteArray("    platform --> uerr\n")
            << QByteArray("    platform --> uerr & serial\n") << 2 << "circle";
    }
    void includesAreHeldToTheDocument() {
        QFETCH(QString, file);
        QFETCH(QByteArray, plantedLine);
        QFETCH(QByteArray, drawingLine);
        QFETCH(QByteArray, drawingInstead);
        QFETCH(int, exitCode);
        QFETCH(QString, expected);
        QTemporaryDir tree;
        QVERIFY(tree.isValid());
        QVERIFY(CopyTree(tree.path()));
        if (!file.isEmpty())
            QVERIFY(Edit(tree.filePath(file),
                         [&](QByteArray text) { return plantedLine + '\n' + text; }));
        if (!drawingLine.isEmpty()) {
            bool found = false;
            QVERIFY(Edit(tree.filePath(kDocument), [&](QByteArray text) {
                found = text.contains(drawingLine);
                return text.replace(drawingLine, drawingInstead);
            }));
            QVERIFY2(found, drawingLine.constData());
        }

        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start("bash", {kSourceDir + "/scripts/check-layers.sh", tree.path()});
        QVERIFY(check.waitForFinished(60000));
        const QString output = QString::fromUtf8(check.readAll());
        QVERIFY2(output.contains(expected), qPrintable(output));
        QCOMPARE(check.exitCode(), exitCode);
    }
};

QTEST_GUILESS_MAIN(CheckLayersTest)
#include "test_check_layers.moc"
