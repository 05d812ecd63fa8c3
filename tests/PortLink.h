#pragma once

#include "serial/PortSettings.h"

#include <QFile>
#include <QTemporaryDir>

// A device path that only this test controls: a link to the pseudo-terminal of a
// simulated module. Unplugging removes the link first, so the path stays absent
// even when another process is given the same /dev/pts number meanwhile.
class PortLink
{
public:
    PortLink() : m_path(m_dir.filePath(QStringLiteral("ttyKVP"))) {}

    QString path() const { return m_path; }
    // The module's line settings on this path.
    kvp::PortSettings port() const
    {
        kvp::PortSettings settings;
        settings.portName = m_path;
        return settings;
    }
    bool plug(const QString &device) { return QFile::link(device, m_path); }
    bool unplug() { return QFile::remove(m_path); }

private:
    QTemporaryDir m_dir;
    QString m_path;
};
