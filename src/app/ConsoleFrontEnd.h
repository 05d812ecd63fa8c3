#pragma once

#include "ReadSession.h"

#include <QObject>

namespace kvp {

// Reading without a window: values on standard output, one a line, everything
// else on standard error.
class ConsoleFrontEnd : public QObject
{
    Q_OBJECT

public:
    ConsoleFrontEnd(ReadSession &session, int count, QObject *parent = nullptr);

    // Starts reading; the program's exit code arrives through QCoreApplication::exit.
    void start();

private:
    void onValue(const QString &text);
    void tell(Condition condition);
    void finish(int exitCode);

    ReadSession &m_session;
    int m_count;
    int m_values = 0;
};

} // namespace kvp
