// The time to make a configuration report of a full settings file (all 250 lines,
// every text long), as PDF and as HTML: the median of several runs each, and
// whether the PDF stays under one second.
//
//     report_time [RUNS]     (default 9)

#include "report/ReportSources.h"
#include "settings/SettingsFiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLocale>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 9;

    ReportValues values;
    for (int item = 0; item < FileItemCount; ++item)
        values[item] = IsNumberItem(item) ? Value::number(item % 3)
                                          : Value::text(QStringLiteral("Text %1 <&>").arg(item));
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("full.cfg"));
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(SettingsFileBytes(values)) < 0)
        return 2;
    out.close();

    QString error;
    ReportInput input;
    input.made = QDateTime::currentDateTime();
    input.program = QStringLiteral("report_time");
    input.source = *LoadReportFile(file, &error);
    input.defaults = LoadDefaultSet(folder.path());
    input.compare = input.source;
    input.compare->values = input.defaults; // every setting differs: the longest report

    for (const char *suffix : {"pdf", "html"}) {
        QList<qint64> times;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            if (!WriteReport(input, folder.filePath(QStringLiteral("report.") + suffix),
                             QLocale(QLocale::German, QLocale::Germany), &error)) {
                fprintf(stderr, "report_time: %s\n", qPrintable(error));
                return 1;
            }
            times.append(timer.elapsed());
        }
        std::sort(times.begin(), times.end());
        printf("%-4s report of a full file: median %lld ms, slowest %lld ms over %d runs%s\n",
               suffix, static_cast<long long>(times.at(times.size() / 2)),
               static_cast<long long>(times.last()), runs,
               QByteArray(suffix) == "pdf"
                   ? (times.at(times.size() / 2) < 1000 ? " (under one second)"
                                                        : " (ONE SECOND OR MORE)")
                   : "");
    }
    return 0;
}
