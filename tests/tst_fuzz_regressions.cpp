#include "fuzz/FuzzTargets.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <functional>

// Replays every seed of the fuzz targets and every input a fuzzer ever found through
// the same entry points the fuzzers use: each must hold all the targets' invariants.
// A fault once found by fuzzing stays fixed this way, without clang or libFuzzer.
class TestFuzzRegressions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void inputHoldsEveryInvariant_data();
    void inputHoldsEveryInvariant();
};

using Entry = std::function<QString(const uint8_t *, size_t)>;

static Entry entryFor(const QString &target)
{
    if (target == QLatin1String("fuzz_frames"))
        return FuzzTargets::RunFrames;
    if (target == QLatin1String("fuzz_answer"))
        return FuzzTargets::RunAnswer;
    if (target == QLatin1String("fuzz_drain"))
        return FuzzTargets::RunDrain;
    if (target == QLatin1String("fuzz_telnet"))
        return FuzzTargets::RunTelnet;
    if (target == QLatin1String("fuzz_settingsfile"))
        return FuzzTargets::RunSettingsFile;
    if (target == QLatin1String("fuzz_settingssave"))
        return FuzzTargets::RunSettingsSave;
    if (target == QLatin1String("fuzz_setupfile"))
        return FuzzTargets::RunSetupFile;
    if (target == QLatin1String("fuzz_values"))
        return FuzzTargets::RunValues;
    return nullptr;
}

void TestFuzzRegressions::inputHoldsEveryInvariant_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("path");

    const QString fuzzDir = QStringLiteral(KESTRUM_SOURCE_DIR "/fuzz");
    int rows = 0;
    for (const QString &kind : {QStringLiteral("corpus"), QStringLiteral("regressions")}) {
        const QDir base(fuzzDir + QLatin1Char('/') + kind);
        for (const QString &target : base.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QDir dir(base.filePath(target));
            for (const QString &file : dir.entryList(QDir::Files, QDir::Name)) {
                const QString name = kind + QLatin1Char('/') + target + QLatin1Char('/') + file;
                QTest::newRow(qPrintable(name)) << target << dir.filePath(file);
                ++rows;
            }
        }
    }
    // The seed corpora are part of the source tree; without them this test would
    // pass by replaying nothing.
    QVERIFY2(rows >= 50, qPrintable(QStringLiteral("only %1 inputs found").arg(rows)));
}

void TestFuzzRegressions::inputHoldsEveryInvariant()
{
    QFETCH(QString, target);
    QFETCH(QString, path);

    const Entry entry = entryFor(target);
    QVERIFY2(entry, qPrintable(QStringLiteral("no entry point for ") + target));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray input = file.readAll();
    const QString broken =
        entry(reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size()));
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "tst_fuzz_regressions.moc"
