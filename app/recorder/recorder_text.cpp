#include "app/recorder/recorder_text.h"

#include <QLocale>
#include <cmath>

namespace quillon::recorder {

QString signed_text(std::int64_t n) {
    return n < 0 ? QString::number(n) : QLatin1Char(' ') + QString::number(n);
}

std::int64_t round_half_even(double value) {
    return static_cast<std::int64_t>(std::nearbyint(value));
}

std::int64_t percent_of(std::int64_t value, std::int64_t count) {
    const std::int64_t product = value * count;
    std::int64_t quotient = product / 100;
    const std::int64_t rest = product % 100;
    // Both operands are positive here; a negative product rounds the mirrored way.
    const std::int64_t half = rest < 0 ? -rest : rest;
    if (half > 50 || (half == 50 && quotient % 2 != 0)) quotient += product < 0 ? -1 : 1;
    return quotient;
}

QString number_text(double value) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'g', 15);
}

QString list_entry(int number, std::int64_t seconds, const QString& file) {
    return signed_text(number) + QStringLiteral("    ") + signed_text(seconds) +
           QStringLiteral("sec       ") + file;
}

QString entry_file(const QString& entry) {
    const qsizetype start = entry.indexOf(QLatin1Char('/'));
    return start < 0 ? QString() : entry.mid(start);
}

}  // namespace quillon::recorder
