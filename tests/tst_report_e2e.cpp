// kestrum-cli report as a user runs it, read back with poppler's tools as a reader
// of the PDF would: its text, its metadata and the file it carries.

#include "support/SimProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

// Every row of the four offered pages for KnownFile, in the window's order.
const char *const KnownRows[] = {
    "0 Diagnostic level: Debug info",
    "5 ESPA out max address length: Address length: 3 digits *",
    "7 ESPA out max text length: Length: 40 characters *",
    "10 ESPA out serial speed: 19200 baud",
    "11 ESPA out serial number of bits: 8 bits",
    "12 ESPA out serial number of stopbits: 2 stopbits *",
    "13 ESPA out serial parity: odd parity *",
    "14 ESPA out hardware handshake: CTS/RTS HandShake *",
    "15 ESPA out poll watch alarm: Espa-Out Poll Watchdog 30 sec *",
    "16 ESPA out request for status: No request for status (Fire and forget) *",
    "17 ESPA out tx-data delay: 30 milliseconcs delay *",
    "20 ESPA in serial speed: 9600 baud *",
    "21 ESPA in serial number of bits: 7 bits",
    "22 ESPA in serial number of stopbits: 1 stopbit",
    "23 ESPA in serial parity: even parity *",
    "24 ESPA in hardware handshake: No HandShake, RTS active *",
    "25 ESPA in pollwatch timer (1sec): Espa-In Poll Watchdog 45 sec *",
    "26 ESPA in status request response: non-standard, Reply EOT, unless asked for status *",
    "27 ESPA in tx-data delay: 90 milliseconcs delay *",
    "30 ESPA in serial speed: 1200 baud",
    "31 ESPA in serial number of bits: 8 bits *",
    "32 ESPA in serial number of stopbits: 2 stopbits *",
    "33 ESPA in serial parity: no parity",
    "34 ESPA in hardware handshake: No HandShake",
    "35 ESPA in pollwatch timer (1sec): Espa-In Poll Watchdog 0 sec",
    "36 ESPA in status request response: non-standard, tbd *",
    "37 ESPA in tx-data delay: no delay",
};

// A line for every setting the converter is written, as a report takes only such files.
const QByteArray KnownFile = "0    ->2\r\n5    ->3\r\n7    ->40\r\n10    ->4\r\n11    ->1\r\n"
                             "12    ->1\r\n13    ->2\r\n14    ->2\r\n15    ->30\r\n16    ->1\r\n"
                             "17    ->3\r\n20    ->3\r\n21    ->0\r\n22    ->0\r\n23    ->1\r\n"
                             "24    ->1\r\n25    ->45\r\n26    ->4\r\n27    ->9\r\n30    ->0\r\n"
                             "31    ->1\r\n32    ->1\r\n33    ->0\r\n34    ->0\r\n35    ->0\r\n"
                             "36    ->5\r\n37    ->0\r\n155    ->Pager 1\r\n";
const QByteArray DefaultFile = "0    ->2\r\n10    ->4\r\n11    ->1\r\n";

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run run(const QString &program, const QStringList &arguments, const QString &locale = "C")
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // A machine without a display: kestrum-cli must not need one.
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.insert(QStringLiteral("LC_ALL"), locale);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(60000))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// The PDF's text in the order it was drawn, blanks and line ends made single blanks.
QString pdfText(const QString &pdf)
{
    return run(QStringLiteral("pdftotext"), {"-raw", pdf, "-"}).out.simplified();
}

} // namespace

class TestReportE2e : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void pdfShowsEveryRowInOrderAndCarriesTheFile_data();
    void pdfShowsEveryRowInOrderAndCarriesTheFile();
    void htmlIsWellFormedAndShowsTextsAsTyped();
    void reportOfTheUnitNamesPortAndDevice();

private:
    QString home() const { return m_home->path(); }
    std::unique_ptr<QTemporaryDir> m_home;
};

void TestReportE2e::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(writeFile(home() + "/default.set", DefaultFile));
    QVERIFY(writeFile(home() + "/unit-42.cfg", KnownFile));
}

void TestReportE2e::pdfShowsEveryRowInOrderAndCarriesTheFile_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("pageSize");
    QTest::newRow("A4 in Germany") << "de_DE.UTF-8"
                                   << "595 x 842 pts (A4)";
    QTest::newRow("Letter in the United States") << "en_US.UTF-8"
                                                 << "612 x 792 pts (letter)";
}

void TestReportE2e::pdfShowsEveryRowInOrderAndCarriesTheFile()
{
    QFETCH(QString, locale);
    QFETCH(QString, pageSize);
    const QString pdf = home() + "/report.pdf";
    const Run made = run(QStringLiteral(KESTRUM_CLI_PATH),
                         {"--home", home(), "report", home() + "/unit-42.cfg", "-o", pdf, "--title",
                          "Site A, converter 2"},
                         locale);
    QCOMPARE(made.exitCode, 0);

    const QString text = pdfText(pdf);
    QVERIFY2(text.startsWith(QStringLiteral("Configuration report Site A, converter 2 Made on ")),
             qPrintable(text.left(200)));
    QVERIFY(text.contains(QStringLiteral("Source: Settings file unit-42.cfg, modified ")));
    QVERIFY(text.contains(QStringLiteral("17 settings differ from the default set (marked *)")));
    qsizetype at = 0;
    for (const char *row : KnownRows) {
        const qsizetype found = text.indexOf(QLatin1String(row), at);
        QVERIFY2(found > at, row);
        at = found;
    }
    const QByteArray sha = QCryptographicHash::hash(KnownFile, QCryptographicHash::Sha256).toHex();
    QVERIFY(text.contains(QStringLiteral("SHA-256 ") + QLatin1String(sha)));

    const QString info = run(QStringLiteral("pdfinfo"), {pdf}).out;
    QVERIFY2(info.contains(QStringLiteral("Page size:       ") + pageSize), qPrintable(info));
    QVERIFY(info.contains(QStringLiteral("Title:           Configuration report: Site A, "
                                         "converter 2")));
    QVERIFY(info.contains(QStringLiteral("Creator:         kestrum-cli ")));
    QVERIFY(run(QStringLiteral("pdfinfo"), {"-meta", pdf})
                .out.contains(QStringLiteral("pdfaid:part=\"3\" pdfaid:conformance=\"B\"")));
    const int pages =
        QRegularExpression(QStringLiteral("Pages: +(\\d+)")).match(info).captured(1).toInt();
    QCOMPARE(pages, 2);
    QVERIFY(text.contains(QStringLiteral("Page 1 of 2")));
    QVERIFY(text.endsWith(QStringLiteral("Page 2 of 2")));

    QCOMPARE(run(QStringLiteral("pdfdetach"), {"-list", pdf}).out,
             QStringLiteral("1 embedded files\n1: unit-42.cfg\n"));
    const QString carried = home() + "/carried.cfg";
    QCOMPARE(run(QStringLiteral("pdfdetach"), {"-save", "1", "-o", carried, pdf}).exitCode, 0);
    QCOMPARE(readFile(carried), KnownFile);
}

void TestReportE2e::htmlIsWellFormedAndShowsTextsAsTyped()
{
    QByteArray other = KnownFile;
    other.replace("155    ->Pager 1", "155    -> <&\">  ");
    QVERIFY(writeFile(home() + "/other.cfg", other));
    const QString html = home() + "/report.html";
    const Run made = run(QStringLiteral(KESTRUM_CLI_PATH),
                         {"--home", home(), "report", home() + "/unit-42.cfg", "-o", html,
                          "--title", "<b>Site & \"A\"</b>", "--compare", home() + "/other.cfg"});
    QCOMPARE(made.exitCode, 0);

    QXmlStreamReader reader(readFile(html));
    QString text;
    int elements = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement())
            ++elements;
        if (reader.isCharacters())
            text += reader.text();
    }
    QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
    QVERIFY(elements > 100);
    // Only the report's own markup is markup; the title and the texts are text.
    QVERIFY(text.contains(QStringLiteral("<b>Site & \"A\"</b>")));
    QVERIFY(text.contains(QStringLiteral("Differences from other.cfg")));
    QVERIFY2(text.contains(QStringLiteral("155Pager-adres\"Pager 1\"\" <&\">  \"")),
             qPrintable(text.right(800)));
    QVERIFY(text.contains(QStringLiteral("1 setting differs.")));
    // Nothing is fetched from elsewhere.
    QVERIFY(!readFile(html).contains("src="));
    QVERIFY(!readFile(html).contains("href="));
}

void TestReportE2e::reportOfTheUnitNamesPortAndDevice()
{
    QVERIFY(QDir(home()).mkdir(QStringLiteral("ports")));
    SimProcess sim;
    QVERIFY(sim.start({"--link", home() + "/ports/com1"}));
    QVERIFY(sim.sendCommand(QStringLiteral("set 10 2")));
    const QString pdf = home() + "/unit.pdf";
    const Run made =
        run(QStringLiteral(KESTRUM_CLI_PATH),
            {"--home", home(), "report", "unit", "-o", pdf, "--compare", home() + "/unit-42.cfg"});
    QCOMPARE(made.exitCode, 0);

    const QString text = pdfText(pdf);
    const QRegularExpression source(
        QStringLiteral("Source: Read from the converter on Com1 \\(%1\\) at \\d\\d:\\d\\d:\\d\\d ")
            .arg(QRegularExpression::escape(sim.ptyPath())));
    QVERIFY2(source.match(text).hasMatch(), qPrintable(text.left(400)));
    QVERIFY(text.contains(QStringLiteral("10 ESPA out serial speed: 4800 baud")));
    // The converter's bulk settings only, against the file.
    QVERIFY(text.contains(QStringLiteral("10 ESPA out serial speed: 4800 baud 19200 baud")));
    QVERIFY(!text.contains(QStringLiteral("155 Pager-adres")));
    QVERIFY(
        run(QStringLiteral("pdfdetach"), {"-list", pdf})
            .out.contains(QRegularExpression(QStringLiteral("1: converter-\\d{8}-\\d{6}\\.cfg"))));
}

QTEST_GUILESS_MAIN(TestReportE2e)
#include "tst_report_e2e.moc"
