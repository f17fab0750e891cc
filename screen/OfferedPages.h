#pragma once

#include <QList>
#include <QString>

// A settings page that the window offers, with the frame that holds its rows.
struct OfferedPage
{
    QString caption;      // the page's tab
    QString frameName;    // object name of its frame; "" for rows on the page itself
    QString frameCaption; // the frame's caption, trailing blanks included
    QList<int> items;     // the rows, top to bottom
};

// The four pages of SSTab2 that the user sees, in tab order. The window builds them
// from this table and the configuration report follows it, so both show the
// settings in one order.
const QList<OfferedPage> &OfferedPages();
