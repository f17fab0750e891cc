#include "sim/Faults.h"

#include <QRegularExpression>

namespace {

struct ModeName
{
    Fault::Mode mode;
    const char *name;
    bool takesArg;
};

constexpr ModeName Modes[] = {
    {Fault::Mode::Silent, "silent", false},
    {Fault::Mode::Nak, "nak", false},
    {Fault::Mode::Checksum, "checksum", false},
    {Fault::Mode::StopAfterLen, "stop-after-len", false},
    {Fault::Mode::TooLong, "too-long", false},
    {Fault::Mode::OtherItem, "other-item", true},
    {Fault::Mode::Noise, "noise", false},
    {Fault::Mode::Delay, "delay", true},
    {Fault::Mode::StoreOther, "store-other", true},
    {Fault::Mode::NakWrite, "nak-write", false},
};

bool readNumber(const QString &text, int max, int *out)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < 0 || v > max)
        return false;
    *out = v;
    return true;
}

} // namespace

QStringList Fault::modeNames()
{
    QStringList names;
    for (const ModeName &m : Modes)
        names << QLatin1String(m.name);
    return names;
}

std::optional<Fault> Fault::parse(const QString &spec, QString *error)
{
    const auto fail = [error](const QString &why) -> std::optional<Fault> {
        if (error)
            *error = why;
        return std::nullopt;
    };

    // The compact form is turned into the word form first.
    static const QRegularExpression compact(
        QStringLiteral("^([a-z-]+)(?:=(\\d+))?(?::(\\d+))?(?:x(\\d+))?$"));
    QStringList words;
    const QString trimmed = spec.trimmed().toLower();
    const QRegularExpressionMatch m = compact.match(trimmed);
    if (m.hasMatch()) {
        words << m.captured(1);
        if (m.hasCaptured(2) && !m.captured(2).isEmpty())
            words << m.captured(2);
        if (m.hasCaptured(3) && !m.captured(3).isEmpty())
            words << QStringLiteral("item") << m.captured(3);
        if (m.hasCaptured(4) && !m.captured(4).isEmpty())
            words << QLatin1Char('x') + m.captured(4);
    } else {
        words = trimmed.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }
    if (words.isEmpty())
        return fail(QStringLiteral("no fault mode given"));

    Fault fault;
    const ModeName *mode = nullptr;
    for (const ModeName &candidate : Modes) {
        if (words.first() == QLatin1String(candidate.name))
            mode = &candidate;
    }
    if (!mode)
        return fail(QStringLiteral("unknown fault mode \"%1\" (known: %2)")
                        .arg(words.first(), modeNames().join(QStringLiteral(", "))));
    fault.mode = mode->mode;

    int i = 1;
    if (mode->takesArg && i < words.size() && words.at(i) != QLatin1String("item") &&
        !words.at(i).startsWith(QLatin1Char('x'))) {
        if (!readNumber(words.at(i), fault.mode == Mode::Delay ? 600000 : 255, &fault.arg))
            return fail(QStringLiteral("bad argument \"%1\"").arg(words.at(i)));
        ++i;
    }
    if (fault.mode == Mode::Delay && fault.arg < 0)
        return fail(QStringLiteral("delay needs milliseconds, e.g. \"delay 800\""));
    for (; i < words.size(); ++i) {
        const QString &w = words.at(i);
        if (w == QLatin1String("item") && i + 1 < words.size()) {
            if (!readNumber(words.at(i + 1), 255, &fault.item))
                return fail(QStringLiteral("bad item \"%1\"").arg(words.at(i + 1)));
            ++i;
        } else if (w.startsWith(QLatin1Char('x')) && w.size() > 1) {
            if (!readNumber(w.mid(1), 1000000, &fault.count) || fault.count == 0)
                return fail(QStringLiteral("bad count \"%1\"").arg(w));
        } else {
            return fail(QStringLiteral("unexpected \"%1\"").arg(w));
        }
    }
    return fault;
}

QString Fault::describe() const
{
    QString text;
    for (const ModeName &m : Modes) {
        if (m.mode == mode)
            text = QLatin1String(m.name);
    }
    if (arg >= 0)
        text += QLatin1Char(' ') + QString::number(arg);
    if (item >= 0)
        text += QStringLiteral(" item ") + QString::number(item);
    if (count >= 0)
        text += QStringLiteral(" x") + QString::number(count);
    return text;
}

std::vector<Fault> FaultList::take(int item, bool write)
{
    std::vector<Fault> hits;
    for (auto it = m_faults.begin(); it != m_faults.end();) {
        const bool writesOnly =
            it->mode == Fault::Mode::StoreOther || it->mode == Fault::Mode::NakWrite;
        if ((it->item >= 0 && it->item != item) || (writesOnly && !write)) {
            ++it;
            continue;
        }
        hits.push_back(*it);
        if (it->count > 0 && --it->count == 0)
            it = m_faults.erase(it);
        else
            ++it;
    }
    return hits;
}
