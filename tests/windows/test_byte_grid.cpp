// The byte grids behind the hex and ASCII views: cell texts, cells that are
// never emptied, fixed cells as headers, no editing, current-cell moves, the
// switch from hex to characters, and ASCII cells drawn glyph by glyph.
#include "windows/string_grid.h"

#include <QHeaderView>
#include <QRawFont>
#include <QtTest>

class ByteGridTest : public QObject {
    Q_OBJECT
private slots:
    void cellTextsOfOneByte_data() {
        QTest::addColumn<int>("byte");
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QString>("character");
        QTest::newRow("line feed") << 0x0A << "0A" << QString(QChar(0x0A));
        QTest::newRow("zero") << 0x00 << "00" << QString(QChar(0));
        QTest::newRow("letter") << 0x41 << "41"
                                << "A";
        QTest::newRow("euro sign") << 0x80 << "80" << QString(QChar(0x20AC));
        QTest::newRow("a umlaut") << 0xE4 << "E4" << QString(QChar(0xE4));
        QTest::newRow("last") << 0xFF << "FF" << QString(QChar(0xFF));
    }
    void cellTextsOfOneByte() {
        QFETCH(int, byte);
        QFETCH(QString, hex);
        QFETCH(QString, character);
        ByteGridModel hexCells(ByteGridModel::CellText::Hex);
        ByteGridModel characterCells(ByteGridModel::CellText::Character);
        const std::string bytes(1, static_cast<char>(byte));
        for (ByteGridModel* cells : {&hexCells, &characterCells}) {
            cells->setGridSize(17, 2);
            cells->writeBytes(bytes);
        }
        QCOMPARE(hexCells.cell(1, 1), hex);
        QCOMPARE(characterCells.cell(1, 1), character);
        QCOMPARE(hexCells.data(hexCells.index(0, 0), Qt::DisplayRole).toString(), hex);
    }

    void bytesFillRowsOfSixteen() {
        ByteGridModel cells(ByteGridModel::CellText::Hex);
        std::string bytes;
        for (int k = 0; k < 35; ++k)
            bytes.push_back(static_cast<char>(k));
        cells.setGridSize(17, 35 / 16 + 2);
        cells.writeBytes(bytes);
        QCOMPARE(cells.cell(16, 1), QStringLiteral("0F")); // byte 16
        QCOMPARE(cells.cell(1, 2), QStringLiteral("10"));  // byte 17
        QCOMPARE(cells.cell(3, 3), QStringLiteral("22"));  // byte 35
        QCOMPARE(cells.cell(4, 3), QString());
        QCOMPARE(cells.rowCount(), 3);
        QCOMPARE(cells.columnCount(), 16);
    }

    void cellsKeepTheirTextsWhenRowsGoAndComeBack() {
        ByteGridModel cells(ByteGridModel::CellText::Hex);
        cells.setGridSize(17, 50 / 16 + 2);
        cells.writeBytes(std::string(50, '\x11'));
        cells.setGridSize(17, 5 / 16 + 2);
        cells.writeBytes(std::string(5, '\x22'));
        QCOMPARE(cells.cell(5, 1), QStringLiteral("22"));
        QCOMPARE(cells.cell(6, 1), QStringLiteral("11")); // written before, not by this fill
        cells.setGridSize(17, 50 / 16 + 2);
        QCOMPARE(cells.cell(8, 3), QStringLiteral("11")); // row removed and added again
        QCOMPARE(cells.cell(2, 4), QStringLiteral("11")); // byte 50, the last one written
        QCOMPARE(cells.cell(3, 4), QString());            // never written
    }

    void fixedCellsAreHeadersAndNothingIsEditable() {
        StringGrid grid;
        grid.setGridShape(17, 3, 20, 20);
        grid.cells().setFixedCell(0, 0, QStringLiteral("  /"));
        grid.cells().writeBytes("\x01\x02");
        QCOMPARE(grid.cells().cell(0, 0), QStringLiteral("  /"));
        QCOMPARE(grid.cells().headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QString());
        QCOMPARE(grid.cells().headerData(1, Qt::Vertical, Qt::DisplayRole).toString(), QString());
        QVERIFY(!(grid.cells().flags(grid.cells().index(0, 0)) & Qt::ItemIsEditable));
        QCOMPARE(grid.editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(grid.horizontalHeader()->defaultSectionSize(), 20);
        QCOMPARE(grid.verticalHeader()->width(), 20);
    }

    void settingTheCurrentCellDropsARange() {
        StringGrid grid;
        grid.setGridShape(17, 60, 15, 20);
        grid.resize(300, 177);
        grid.selectionModel()->select(
            QItemSelection(grid.cells().index(0, 0), grid.cells().index(2, 3)),
            QItemSelectionModel::Select);
        grid.setCurrentCell(5, 40);
        QCOMPARE(grid.currentCell(), QPoint(5, 40));
        QCOMPARE(grid.selectionModel()->selectedIndexes().size(), 1);
    }

    // Each byte cell shows the font's glyph for its character: a line feed is
    // never a line break elided to "…" (which is what 0x85 is), tab and CR
    // never blank like a space.
    void asciiCellsDrawEachByteAsItsGlyph() {
        const std::string bytes = "\x0A\x85\x0D\x09\x20";
        StringGrid grid;
        grid.setCellText(ByteGridModel::CellText::Character);
        grid.setGridShape(17, 2, 15, 20);
        grid.resize(300, 80);
        grid.cells().writeBytes(bytes);
        grid.setCurrentIndex({}); // no focus frame in any cell
        const QImage drawn = grid.viewport()->grab().toImage();
        const QRawFont font = QRawFont::fromFont(grid.font());
        QVERIFY(font.isValid());

        std::vector<QImage> cells, glyphs;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            cells.push_back(drawn.copy(grid.visualRect(grid.cells().index(0, int(i)))));
            const QString character = grid.cells().cell(int(i) + 1, 1);
            const QList<quint32> index = font.glyphIndexesForString(character);
            glyphs.push_back(font.alphaMapForGlyph(index.value(0)));
        }
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            for (std::size_t j = i + 1; j < bytes.size(); ++j) {
                if (glyphs[i] != glyphs[j] || (i == 0 && j == 1))
                    QVERIFY2(cells[i] != cells[j],
                             qPrintable(QString("bytes %1 and %2 look alike")
                                            .arg(uchar(bytes[i]), 2, 16, QChar('0'))
                                            .arg(uchar(bytes[j]), 2, 16, QChar('0'))));
            }
        }
    }

    // The main window connects to the grid's selection before it turns the
    // ASCII grid into a character grid; that connection must still fire.
    void switchingTheCellTextKeepsSelectionAndConnections() {
        StringGrid grid;
        grid.setGridShape(17, 3, 15, 20);
        grid.cells().writeBytes("JK");
        int moves = 0;
        connect(grid.selectionModel(), &QItemSelectionModel::currentChanged, this,
                [&moves] { ++moves; });
        grid.setCurrentCell(1, 1);

        grid.setCellText(ByteGridModel::CellText::Character);
        QCOMPARE(grid.cells().cell(1, 1), QString("J"));
        QCOMPARE(grid.currentCell(), QPoint(1, 1));
        grid.setCurrentCell(2, 1);
        QCOMPARE(moves, 2);
    }
};

QTEST_MAIN(ByteGridTest)
#include "test_byte_grid.moc"
