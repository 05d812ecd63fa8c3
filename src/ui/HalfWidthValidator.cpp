#include "HalfWidthValidator.h"

namespace kvp {

QValidator::State HalfWidthValidator::validate(QString &input, int &) const
{
    // The full-width forms U+FF01..U+FF5E stand 0xFEE0 above their ASCII twins. Each
    // character stays one character, so the cursor keeps its place.
    constexpr char16_t kOffset = 0xFEE0;
    for (QChar &c : input) {
        const char16_t u = c.unicode();
        if ((u >= u'０' && u <= u'９') || u == u'＋' || u == u'－' || u == u'．' || u == u'，')
            c = QChar(char16_t(u - kOffset));
        else if (u == u'\u3000')
            c = QLatin1Char(' ');
        else if (u == u'。') // the point in Chinese punctuation
            c = QLatin1Char('.');
    }
    return Acceptable;
}

} // namespace kvp
