#include "screen/OfferedPages.h"

const QList<OfferedPage> &OfferedPages()
{
    static const QList<OfferedPage> pages = {
        {QStringLiteral("General settings"), QString(), QString(), {0}},
        {QStringLiteral("ESPA-out"),
         QStringLiteral("FrameEspaOut"),
         QStringLiteral("ESPA out settings: "),
         {5, 7, 10, 11, 12, 13, 14, 15, 16, 17}},
        {QStringLiteral("ESPA in 1"),
         QStringLiteral("FrameEspaIn1"),
         QStringLiteral("ESPA in 1 settings: "),
         {20, 21, 22, 23, 24, 25, 26, 27}},
        {QStringLiteral("ESPA in 2"),
         QStringLiteral("FrameEspaIn2"),
         QStringLiteral("ESPA in 2 settings: "),
         {30, 31, 32, 33, 34, 35, 36, 37}},
    };
    return pages;
}
