#include "ValueMessages.h"


namespace kvp {
namespace {

QByteArray jsonString(const QString &text)
{
    QByteArray out = "\"";
    for (const char32_t c : text.toUcs4()) {
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
            if (c < 0x20)
                out += QStringLiteral("\\u%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toLatin1();
            else
                out += QString::fromUcs4(&c, 1).toUtf8();
        }
    }
    return out + '"';
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
QByteArray jsonNumberOrString(const QString &text)
{
    return isJsonNumber(text) ? text.toLatin1() : jsonString(text);
}

QByteArray topic(const QString &prefix, int address, const char *leaf)
{
    return prefix.toUtf8() + '/' + QByteArray::number(address) + '/' + leaf;
}

} // namespace

QByteArray jsonPayload(const PublishedValue &value)
{
    return "{\"time\":" + jsonString(value.time.toUTC().toString(Qt::ISODateWithMs)) + ",\"raw\":"
           + jsonNumberOrString(value.raw) + ",\"value\":" + jsonNumberOrString(value.valueText)
           + ",\"unit\":" + jsonString(value.unit) + ",\"state\":" + jsonString(value.state) + '}';
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
