#include "app/window/LocaleDate.h"

#include <QDateTime>
#include <QLocale>

#include "app/core/ListFormat.h"

std::string LocaleShortDateTime(const QLocale& locale, double dt) {
    int y, mo, d, h, mi, s;
    DecodeListDate(dt, y, mo, d, h, mi, s);
    const QString date = locale.toString(QDate(y, mo, d), QLocale::ShortFormat);
    const QString time = locale.toString(QTime(h, mi, s), QLocale::ShortFormat);
    return (date + QStringLiteral("  ") + time).toStdString();
}

void UseLocaleFormats(const QLocale& locale) {
    TDisplayFormats& f = DisplayFormats();
    // A locale that groups no digits still gets them grouped, by a blank.
    const QString sep = locale.groupSeparator();
    f.thousandSep = sep.isEmpty() ? std::string(" ") : sep.toStdString();
    f.dateTime = [locale](double dt) { return LocaleShortDateTime(locale, dt); };
}
