#pragma once

#include <QString>

// The text of the progress pane, keeping only its last lines: a window left open for
// weeks of series stays as small and as fast as on its first day.
class ProgressText
{
public:
    static constexpr int MaxLines = 2000;

    // Appends text; lines beyond MaxLines leave from the top. Returns how many line
    // ends left with them.
    int append(const QString &text)
    {
        m_text += text;
        m_lineEnds += int(text.count(QLatin1Char('\n')));
        int dropped = 0;
        if (m_lineEnds >= MaxLines) {
            qsizetype cut = 0;
            while (m_lineEnds >= MaxLines) {
                cut = m_text.indexOf(QLatin1Char('\n'), cut) + 1;
                --m_lineEnds;
                ++dropped;
            }
            m_text.remove(0, cut);
        }
        return dropped;
    }
    const QString &text() const { return m_text; }
    void clear()
    {
        m_text.clear();
        m_lineEnds = 0;
    }

private:
    QString m_text;
    int m_lineEnds = 0;
};
