#include "ValueMessages.h"


namespace kvp {
namespace {

void appendJsonString(QByteArray &out, const QString &text)
{
    // Byte by byte of the UTF-8: no byte of a multi-byte character is below 0x80, so
    // only ASCII needs escaping, and the rest is copied as it is.
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 0xf];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

// Whether the text is a number as JSON writes it: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
bool isJsonNumber(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    const auto digits = [&] {
        const qsizetype start = i;
        while (i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'))
            ++i;
        return i - start;
    };
    if (i < n && text[i] == QLatin1Char('-'))
        ++i;
    const qsizetype intStart = i;
    const qsizetype intDigits = digits();
    if (intDigits == 0 || (intDigits > 1 && text[intStart] == QLatin1Char('0')))
        return false;
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        if (digits() == 0)
            return false;
    }
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        ++i;
        if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == n;
}

// A value text that is a JSON number goes in as it is printed ("12.50" keeps its
// decimals); anything else (a text a unit setting makes) goes in as a string.
void appendJsonNumberOrString(QByteArray &out, const QString &text)
{
    if (isJsonNumber(text))
        out += text.toLatin1();
    else
        appendJsonString(out, text);
}

QByteArray topic(const QString &prefix, int address, const char *leaf)
{
    return prefix.toUtf8() + '/' + QByteArray::number(address) + '/' + leaf;
}

} // namespace

QByteArray jsonPayload(const PublishedValue &value)
{
    QByteArray out;
    out.reserve(128);
    out += "{\"time\":";
    appendJsonString(out, value.time.toUTC().toString(Qt::ISODateWithMs));
    out += ",\"raw\":";
    appendJsonNumberOrString(out, value.raw);
    out += ",\"value\":";
    appendJsonNumberOrString(out, value.valueText);
    out += ",\"unit\":";
    appendJsonString(out, value.unit);
    out += ",\"state\":";
    appendJsonString(out, value.state);
    out += '}';
    return out;
}

std::array<MqttMessage, 2> valueMessages(const QString &prefix, const PublishedValue &value)
{
    return {MqttMessage{topic(prefix, value.address, "value"), value.valueText.toUtf8(), true},
            MqttMessage{topic(prefix, value.address, "json"), jsonPayload(value), false}};
}

MqttMessage stateMessage(const QString &prefix, int address, const QString &state)
{
    return {topic(prefix, address, "state"), state.toUtf8(), true};
}

MqttMessage statusMessage(const QString &prefix, bool online)
{
    return {prefix.toUtf8() + "/status", online ? QByteArray("online") : QByteArray("offline"), true};
}

} // namespace kvp
