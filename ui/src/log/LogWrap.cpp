#include "LogWrap.h"

#include <QFont>
#include <QFontMetricsF>
#include <QString>

#include <algorithm>
#include <utility>

namespace rv {

LogWrap::LogWrap(Measure measure)
{
    SetMeasure(std::move(measure));
}

LogWrap::Measure LogWrap::MeasureOf(const QFont& font)
{
    return [metrics = QFontMetricsF(font)](QStringView piece) {
        return piece.size() == 1 ? metrics.horizontalAdvance(piece.front())
                                 : metrics.horizontalAdvance(piece.toString());
    };
}

void LogWrap::SetMeasure(Measure measure)
{
    Measure_ = std::move(measure);
    Latin_.fill(-1);
}

void LogWrap::SetWidth(qreal width)
{
    Width_ = std::max<qreal>(1, width);
}

qreal LogWrap::OtherAdvance(QStringView text, qsizetype i) const
{
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
        return Measure_(text.mid(i, 2));
    if (c.isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate())
        return 0; // measured with its high half
    return Measure_(text.mid(i, 1));
}

qreal LogWrap::WidthOf(QStringView text, qsizetype from, qsizetype to) const
{
    qreal w = 0;
    for (qsizetype i = from; i < to; ++i)
        w += Advance(text, i);
    return w;
}

void LogWrap::Wrap(QStringView text, std::vector<std::uint32_t>& starts) const
{
    starts.clear();
    starts.push_back(0);
    const qreal width = Width_;
    const qsizetype n = text.size();
    qsizetype start = 0;
    qsizetype lastBreak = -1;
    qreal x = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\n')) {
            if (i + 1 < n)
                starts.push_back(static_cast<std::uint32_t>(i + 1));
            start = i + 1;
            lastBreak = -1;
            x = 0;
            continue;
        }
        const qreal a = Advance(text, i);
        if (c != QLatin1Char(' ') && x + a > width && i > start && !c.isLowSurrogate()) {
            start = lastBreak > start ? lastBreak : i;
            starts.push_back(static_cast<std::uint32_t>(start));
            lastBreak = -1;
            x = WidthOf(text, start, i);
            // The word taken to the new line may still not fit there: it breaks here too.
            if (x + a > width && i > start) {
                start = i;
                starts.push_back(static_cast<std::uint32_t>(start));
                x = 0;
            }
        }
        x += a;
        if (c == QLatin1Char(' '))
            lastBreak = i + 1;
    }
}

} // namespace rv
