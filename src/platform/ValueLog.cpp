#include "ValueLog.h"

#include <QDateTime>

namespace kvp {

bool ValueLog::open(const QString &path)
{
    m_file.setFileName(path);
    // Unbuffered: every line is one write to the file, never held back in our memory.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    if (m_file.size() == 0)
        m_file.write("time,address,value\n");
    return true;
}

bool ValueLog::append(int address, const QString &valueText)
{
    QDateTime now = QDateTime::currentDateTime();
    now.setOffsetFromUtc(now.offsetFromUtc()); // so the text carries the offset
    const QByteArray line = now.toString(Qt::ISODateWithMs).toLatin1() + ',' + QByteArray::number(address) + ','
                            + valueText.toLatin1() + '\n';
    return m_file.write(line) == line.size();
}

} // namespace kvp
