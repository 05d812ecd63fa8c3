#pragma once

#include <QDialog>

#include <memory>

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace kvp {

class ReadSession;
class ScanSession;

// Finding the module: borrows the read session's port (reading stops), asks every
// address once, lists those that answered with their value, and hands the address
// the user picks back to the window, or all of them to be read as a bus. Reading goes on as it was once the search is
// over, whether an address was picked or not.
class FindModuleDialog : public QDialog
{
    Q_OBJECT

public:
    explicit FindModuleDialog(ReadSession &session, QWidget *parent = nullptr);
    ~FindModuleDialog() override;

    // False, with the reason shown in the dialog, when the port is not open.
    bool start();
    bool searching() const;

signals:
    void addressChosen(const QString &address);
    // "Read all found": every address that answered, in order. Emitted once the
    // port is back with the session, so that reading them can start at once.
    void allChosen(const QList<int> &addresses);

protected:
    void done(int result) override;

private:
    void onFound(int address, const QString &valueText);
    void onFinished();
    void choose();
    void chooseAll();
    void finish(int result);

    ReadSession &m_session;
    std::unique_ptr<ScanSession> m_scan;
    QProgressBar *m_progress = nullptr;
    QLabel *m_state = nullptr;
    QListWidget *m_list = nullptr;
    QPushButton *m_use = nullptr;
    QPushButton *m_useAll = nullptr;
    QPushButton *m_cancel = nullptr;
    QList<int> m_all; // chosen by "read all found"
    int m_pendingResult = -1; // closing waits for the port to be handed back
};

} // namespace kvp
