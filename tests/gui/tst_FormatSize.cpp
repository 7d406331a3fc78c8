// Sizes as the details panel and the HTML export show them.
#include <QTest>

#include "TorrentEntry.h"

class TestFormatSize : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void table_data()
    {
        QTest::addColumn<qint64>("Size");
        QTest::addColumn<int>("Digits");
        QTest::addColumn<QString>("Text");
        const qint64 KB = 1024, MB = KB * 1024, GB = MB * 1024;
        // The examples that the program's users know.
        QTest::newRow("1536/2") << 1536LL << 2 << "1.50 kB";
        QTest::newRow("1048575/2") << 1048575LL << 2 << "1,024.00 kB";
        QTest::newRow("1073741824/2") << GB << 2 << "1.00 GB";
        QTest::newRow("16384/0") << 16384LL << 0 << "16 kB";
        QTest::newRow("262144/0") << 262144LL << 0 << "256 kB";
        QTest::newRow("1536/0") << 1536LL << 0 << "2 kB";
        QTest::newRow("4194304/0") << 4194304LL << 0 << "4 MB";
        // Row boundaries.
        QTest::newRow("1023") << 1023LL << 2 << "1023 B";
        QTest::newRow("0") << 0LL << 2 << "0 B";
        QTest::newRow("negative") << -5LL << 2 << "-5 B";
        QTest::newRow("most negative") << std::numeric_limits<qint64>::min() << 0 << "-9223372036854775808 B";
        QTest::newRow("1024") << KB << 2 << "1.00 kB";
        QTest::newRow("1 MB - 1 / 0") << MB - 1 << 0 << "1,024 kB";
        QTest::newRow("1 MB") << MB << 2 << "1.00 MB";
        QTest::newRow("1 GB - 1") << GB - 1 << 2 << "1,024.00 MB";
        // Five significant digits or Digits decimals, whichever keeps fewer.
        QTest::newRow("1.23456 MB") << qint64(1.23456 * MB) << 4 << "1.2346 MB";
        QTest::newRow("12.3456 MB / 4") << qint64(12.3456 * MB) << 4 << "12.3460 MB";
        QTest::newRow("123.456 kB / 3") << qint64(123.456 * KB) << 3 << "123.460 kB";
        QTest::newRow("decimals kept as zeros") << 1536LL << 5 << "1.50000 kB";
        // Half away from zero, exactly.
        QTest::newRow("1.125 kB") << 1152LL << 2 << "1.13 kB";
        QTest::newRow("2.5 kB") << 2560LL << 0 << "3 kB";
        QTest::newRow("999.5 kB") << 1023488LL << 0 << "1,000 kB";
        QTest::newRow("1.0049 kB") << 1029LL << 2 << "1.00 kB";
        // Large quotients in the GB row: all integer digits stay.
        QTest::newRow("12345 GB") << 12345 * GB << 2 << "12,345.00 GB";
        QTest::newRow("10000.5 GB") << 10000 * GB + GB / 2 << 2 << "10,001.00 GB";
        QTest::newRow("100000 GB") << 100000 * GB << 2 << "100,000.00 GB";
        QTest::newRow("123456789 GB") << 123456789 * GB << 0 << "123,456,789 GB";
        QTest::newRow("largest") << std::numeric_limits<qint64>::max() << 2 << "8,589,934,592.00 GB";
        QTest::newRow("negative digits") << 1536LL << -3 << "2 kB";
    }

    void table()
    {
        QFETCH(qint64, Size);
        QFETCH(int, Digits);
        QFETCH(QString, Text);
        QCOMPARE(FormatSize(Digits, Size), Text);
    }

    void localeSeparators()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(FormatSize(2, 1048575), QStringLiteral("1.024,00 kB"));
        QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
        QCOMPARE(FormatSize(2, 1048575),
                 QStringLiteral("1") + QLocale().groupSeparator() + QStringLiteral("024,00 kB"));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
};

QTEST_GUILESS_MAIN(TestFormatSize)
#include "tst_FormatSize.moc"
