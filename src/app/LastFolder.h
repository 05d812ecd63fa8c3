#pragma once

#include <QString>

namespace kvp {

// The folder the last file was saved to, kept with the remembered settings, so that
// the next file dialog opens there rather than in the folder the program started in.
class LastFolder
{
public:
    // The folder to start a file dialog in: the last one used while it exists, else home.
    static QString get();
    // Notes the folder of `file`; false when the settings file could not be written.
    static bool noteFile(const QString &file);
};

} // namespace kvp
