// The window against the simulated module, as the window's tests set it up.
#pragma once

#include "sim/SimulatedModule.h"
#include "ui/WindowLanguage.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTranslator>

#include <algorithm>
#include <map>
#include <memory>

namespace kvp::test {

struct Window
{
    explicit Window(SimulatorSettings sim = {}, CycleSettings cycle = {}, QString portName = {}) : module(sim)
    {
        PortSettings port;
        port.portName = portName.isEmpty() ? module.devicePath() : portName;
        window = std::make_unique<frmMain>(port, cycle);
    }
    template <typename T> T *child(const char *name) { return window->findChild<T *>(QLatin1String(name)); }
    QLabel *display() { return child<QLabel>("DataText"); }
    QString status() { return child<QLabel>("StatusText")->text(); }
    void click(const char *button) { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }
    // Typed into the address box over what is there, key by key; what no key spells
    // ("３") as an input method commits it.
    void type(const QString &text)
    {
        auto *box = child<QLineEdit>("KVPAdr");
        box->selectAll();
        if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
            QTest::keyClicks(box, text);
            return;
        }
        QInputMethodEvent committed;
        committed.setCommitString(text);
        QApplication::sendEvent(box, &committed);
    }
    bool showAndRead()
    {
        if (!window->Form_Load())
            return false;
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return false;
        click("Read");
        return QTest::qWaitFor([&] { return display()->text() != QStringLiteral("数据显示"); }, 3000);
    }
    // Every intact value each module sent.
    std::map<int, QStringList> &observeValues()
    {
        module.module().setReplyObserver([this](const ModuleSimulator::Reply &r) {
            if (r.intact())
                sent[r.address] << QString::number(r.value);
        });
        return sent;
    }
    // Waits until `n` more commands went out, answered or not.
    bool waitCommands(int n)
    {
        const auto before = window->session().cycle().counters().commandsSent;
        return QTest::qWaitFor([&] { return window->session().cycle().counters().commandsSent >= before + n; }, 5000);
    }

    SimulatedModule module;
    std::unique_ptr<frmMain> window;
    std::map<int, QStringList> sent;
};

// The window's language for as long as it lives ("en"; Chinese is the window's own).
struct Language
{
    explicit Language(const QString &locale)
    {
        if (loadWindowTranslation(translator, QLocale(locale)))
            QCoreApplication::installTranslator(&translator);
    }
    ~Language() { QCoreApplication::removeTranslator(&translator); }
    QTranslator translator;
};

} // namespace kvp::test
