// The window's language: Chinese as it is written under C, POSIX and Chinese locales,
// English under an English one, chosen by the same function the window program uses.
#include "ui/WindowLanguage.h"
#include "ui/frmMain.h"

#include "app/ConsoleText.h"
#include "app/WindowText.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTranslator>

using namespace kvp;

namespace {

// Han characters: what an English text must not have left in it.
bool hasChinese(const QString &text)
{
    static const QRegularExpression han(QStringLiteral("\\p{Han}"));
    return han.match(text).hasMatch();
}

// Installs the translator the window would take under a locale, for one test's time.
struct Language
{
    explicit Language(const QString &locale) { loaded = loadWindowTranslation(translator, QLocale(locale)); if (loaded) QCoreApplication::installTranslator(&translator); }
    ~Language() { QCoreApplication::removeTranslator(&translator); }
    Language(const Language &) = delete;
    Language &operator=(const Language &) = delete;
    QTranslator translator;
    bool loaded = false;
};

Facts failureFacts()
{
    Facts facts;
    facts.port = QStringLiteral("/dev/ttyKVP7");
    facts.file = QStringLiteral("/tmp/kvp-values.csv");
    facts.detail = QStringLiteral("Input/output error");
    facts.address = 4;
    return facts;
}

} // namespace


class TestL10n : public QObject
{
    Q_OBJECT

private slots:
    void windowTexts_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<bool>("english");
        QTest::addColumn<QStringList>("texts"); // title, Read, Stop, Close, address label, value, status

        const QStringList chinese{QStringLiteral("数据读取演示"), QStringLiteral("读取"), QStringLiteral("停止"),
                                  QStringLiteral("关闭"), QStringLiteral("KV-P地址(0 ~ 31):"),
                                  QStringLiteral("数据显示"), QStringLiteral("就绪")};
        const QStringList english{QStringLiteral("KV-P Reader"), QStringLiteral("Read"), QStringLiteral("Stop"),
                                  QStringLiteral("Close"), QStringLiteral("KV-P address (0 ~ 31):"),
                                  QStringLiteral("Value"), QStringLiteral("Ready")};
        QTest::newRow("C") << "C" << false << chinese;
        QTest::newRow("POSIX") << "POSIX" << false << chinese;
        QTest::newRow("zh_CN") << "zh_CN" << false << chinese;
        QTest::newRow("zh_TW") << "zh_TW" << false << chinese;
        QTest::newRow("en_US") << "en_US" << true << english;
        QTest::newRow("en_GB") << "en_GB" << true << english;
        QTest::newRow("de_DE reads English, not Chinese") << "de_DE" << true << english;
    }

    void windowTexts()
    {
        QFETCH(QString, locale);
        QFETCH(bool, english);
        QFETCH(QStringList, texts);
        Language language(locale);
        QCOMPARE(language.loaded, english);
        QCOMPARE(windowTranslation(QLocale(locale)).isEmpty(), !english);

        PortSettings port;
        port.portName = QStringLiteral("/nonexistent/kvp-l10n"); // never opened: Form_Load is not called
        frmMain window(port, {});
        const auto text = [&](const char *name) {
            if (auto *button = window.findChild<QPushButton *>(QLatin1String(name)))
                return button->text();
            return window.findChild<QLabel *>(QLatin1String(name))->text();
        };
        const QStringList shown{window.windowTitle(), text("Read"),     text("Stop"),      text("Quit"),
                                text("Label1"),       text("DataText"), text("StatusText")};
        QCOMPARE(shown, texts);
    }

    // Qt's own words (the buttons of its dialogs) in the window's language.
    void qtsOwnWords_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("cancel");
        QTest::newRow("zh_CN") << "zh_CN" << "取消";
        QTest::newRow("C keeps the window Chinese, Qt too") << "C" << "取消";
        QTest::newRow("en_US needs nothing") << "en_US" << "Cancel";
    }
    void qtsOwnWords()
    {
        QFETCH(QString, locale);
        QFETCH(QString, cancel);
        QTranslator qt;
        const bool loaded = loadQtTranslation(qt, QLocale(locale));
        QCOMPARE(loaded, cancel != QLatin1String("Cancel"));
        if (loaded)
            QCoreApplication::installTranslator(&qt);
        const QString shown = QCoreApplication::translate("QPlatformTheme", "Cancel");
        QCoreApplication::removeTranslator(&qt);
        QVERIFY2(shown.startsWith(cancel), qPrintable(shown));
    }

    // The messages of the most common failures in each language: the English ones say
    // what stderr says, word for word, but for the console's options; the Chinese ones
    // keep the port and the system's reason.
    void failureMessages_data()
    {
        QTest::addColumn<Condition>("condition");
        QTest::addColumn<QString>("fact"); // what the message must name

        QTest::newRow("port missing") << Condition::portMissing << "/dev/ttyKVP7";
        QTest::newRow("permission denied") << Condition::permissionDenied << "/dev/ttyKVP7";
        QTest::newRow("in use") << Condition::portInUse << "/dev/ttyKVP7";
        QTest::newRow("line settings") << Condition::portSetup << "/dev/ttyKVP7";
        QTest::newRow("terminal") << Condition::portIsTerminal << "/dev/ttyKVP7";
        QTest::newRow("system console") << Condition::portIsConsole << "/dev/ttyKVP7";
        QTest::newRow("path too long") << Condition::pathTooLong << "Input/output error";
        QTest::newRow("no descriptor") << Condition::tooManyFiles << "/dev/ttyKVP7";
        QTest::newRow("device removed") << Condition::deviceRemoved << "/dev/ttyKVP7";
        QTest::newRow("write failed") << Condition::writeFailed << "/dev/ttyKVP7";
        QTest::newRow("another device") << Condition::portChanged << "/dev/ttyKVP7";
        QTest::newRow("invalid address") << Condition::invalidAddress << "31";
        QTest::newRow("log file") << Condition::logFile << "/tmp/kvp-values.csv";
        QTest::newRow("log write") << Condition::logWriteFailed << "/tmp/kvp-values.csv";
        QTest::newRow("recording") << Condition::recordingFailed << "/tmp/kvp-values.csv";
        QTest::newRow("simulator") << Condition::simulatorFailed << "Input/output error";
        for (const Condition server : {Condition::badServerAddress, Condition::connectionRefused, Condition::hostNotFound,
                                       Condition::connectTimedOut, Condition::notComPortServer,
                                       Condition::networkFailed, Condition::connectionLost})
            QTest::addRow("serial server %d", int(server)) << server << "/dev/ttyKVP7";
    }

    void failureMessages()
    {
        QFETCH(Condition, condition);
        QFETCH(QString, fact);
        const Facts facts = failureFacts();
        const QString chinese = windowText(condition, facts).message;
        QVERIFY2(hasChinese(chinese) && chinese.contains(fact), qPrintable(chinese));
        if (!facts.detail.isEmpty() && consoleText(condition, facts).contains(facts.detail))
            QVERIFY2(chinese.contains(facts.detail), qPrintable(chinese));

        Language english(QStringLiteral("en_US"));
        QVERIFY(english.loaded);
        QString console = consoleText(condition, facts);
        console[0] = console[0].toUpper(); // a sentence of its own in a message box
        const QString window = windowText(condition, facts).message;
        // Where the console names its options, the window points at its own controls.
        if (console.contains(QStringLiteral("--")))
            QVERIFY2(!window.contains(QStringLiteral("--")) && window.contains(fact), qPrintable(window));
        else
            QCOMPARE(window, console);
    }

    // Nothing the window words is left in Chinese under English: every state, every
    // message, every fixed word has its translation.
    void nothingLeftUntranslated()
    {
        Language english(QStringLiteral("en_US"));
        QVERIFY(english.loaded);
        Facts facts = failureFacts();
        for (int c = 0; c <= static_cast<int>(Condition::windowProgramMissing); ++c) {
            for (bool simulated : {false, true}) {
                facts.simulated = simulated;
                const WindowText text = windowText(static_cast<Condition>(c), facts);
                for (const QString &s : {text.title, text.status, text.port, text.message, text.hint})
                    QVERIFY2(!hasChinese(s), qPrintable(QStringLiteral("condition %1: %2").arg(c).arg(s)));
            }
        }
        for (int w = 0; w <= static_cast<int>(WindowWord::timeoutQuestion); ++w) {
            const QString s = windowWord(static_cast<WindowWord>(w));
            QVERIFY2(!s.isEmpty() && !hasChinese(s), qPrintable(s));
        }
    }
};

QTEST_MAIN(TestL10n)
#include "tst_l10n.moc"
