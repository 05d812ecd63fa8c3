#include "protocol/ValueReply.h"
#include "reader/ReadCycle.h"

#include <QTest>

#include <string>
#include <vector>

using namespace kvp;
using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes reply(std::int32_t value)
{
    const auto r = encodeValueReply(value);
    return Bytes(r.begin(), r.end());
}

Bytes text(std::string_view s)
{
    return Bytes(s.begin(), s.end());
}

const Bytes kAck = text("OK\r\n");
const std::string kSetup0 = "S00;COF8;";
const std::string kQuery0 = "S00;MSV?;";

// Drives a ReadCycle the way the window does, with a clock the test moves by hand.
struct Line
{
    explicit Line(CycleSettings settings = {}) : cycle(settings) {}

    ReadCycle cycle;
    TimePoint now{};
    std::vector<std::string> sent;
    std::vector<std::string> shown;
    bool refused = false;

    void apply(const CycleActions &a)
    {
        if (a.send)
            sent.push_back(*a.send);
        if (a.show)
            shown.push_back(*a.show);
        refused = refused || a.invalidAddress;
    }
    void read() { apply(cycle.Read_Click(now)); }
    void stop() { apply(cycle.Stop_Click(now)); }
    void receive(const Bytes &bytes)
    {
        apply(cycle.ShowData(bytes, static_cast<std::int16_t>(bytes.size()), now));
    }
    // Lets time pass, firing the cycle's timer wherever it asks to be woken.
    void wait(Clock::duration d)
    {
        const TimePoint until = now + d;
        while (auto due = cycle.deadline()) {
            if (*due > until)
                break;
            now = std::max(now, *due);
            apply(cycle.tick(now));
        }
        now = until;
    }
    // Read, and let the module acknowledge the parameter command.
    void startReading()
    {
        read();
        wait(2ms);
        receive(kAck);
        wait(25ms);
        sent.clear();
    }
};

} // namespace

class tst_readcycle : public QObject
{
    Q_OBJECT

private slots:
    void startsIdleAndSendsNothing()
    {
        Line line;
        line.wait(10s);
        QVERIFY(line.sent.empty());
        QCOMPARE(line.cycle.status().phase, CyclePhase::ready);
        QVERIFY(!line.cycle.deadline());
    }

    void readSetsUpThenQueriesAfterTheAcknowledgement()
    {
        Line line;
        line.read();
        QCOMPARE(line.sent, std::vector<std::string>{kSetup0});
        line.wait(2ms);
        line.receive(kAck);
        line.wait(19ms);
        QCOMPARE(line.sent.size(), size_t(1)); // the acknowledgement may not be over yet
        line.wait(1ms);
        QCOMPARE(line.sent, (std::vector<std::string>{kSetup0, kQuery0}));
        QCOMPARE(line.cycle.status().phase, CyclePhase::reading);
    }

    // Every way a reply can be cut into receive events yields one value and one query.
    void replySplitAnywhere_data()
    {
        QTest::addColumn<QList<int>>("cuts");
        QTest::addColumn<int>("trailing");

        QTest::newRow("whole") << QList<int>{} << 0;
        QTest::newRow("whole with trailing junk") << QList<int>{} << 3;
        QTest::newRow("byte by byte") << QList<int>{1, 2, 3, 4, 5} << 0;
        QTest::newRow("byte by byte with trailing junk") << QList<int>{1, 2, 3, 4, 5} << 2;
        for (int at = 1; at < 6; ++at) {
            QTest::addRow("split at %d", at) << QList<int>{at} << 0;
            QTest::addRow("split at %d with trailing junk", at) << QList<int>{at} << 1;
        }
    }

    void replySplitAnywhere()
    {
        QFETCH(QList<int>, cuts);
        QFETCH(int, trailing);
        Line line;
        line.startReading();

        Bytes bytes = reply(-1234);
        bytes.insert(bytes.end(), trailing, 0x55);
        cuts.prepend(0);
        cuts.append(int(bytes.size()));
        for (int i = 0; i + 1 < cuts.size(); ++i) {
            line.receive(Bytes(bytes.begin() + cuts[i], bytes.begin() + cuts[i + 1]));
            line.wait(5ms); // pieces closer together than the gap
        }
        line.wait(100ms);
        QCOMPARE(line.shown, std::vector<std::string>{"-1234"});
        QCOMPARE(line.sent, std::vector<std::string>{kQuery0});
        QCOMPARE(line.cycle.counters().goodValues, 1u);
    }

    void valuesFollowOneAnother()
    {
        Line line;
        line.startReading();
        for (int v : {5, -5, 8388607, -8388608, 0}) {
            line.wait(3ms);
            line.receive(reply(v));
        }
        QCOMPARE(line.shown, (std::vector<std::string>{"5", "-5", "8388607", "-8388608", "0"}));
        QCOMPARE(line.sent.size(), size_t(5));
        QCOMPARE(line.cycle.status().stale, StaleReason::none);
    }

    // A reply that breaks off is handled as a short one once the line is silent.
    void brokenReplyAskedForAgainAfterTheGap()
    {
        Line line;
        line.startReading();
        const Bytes full = reply(42);
        line.receive(Bytes(full.begin(), full.begin() + 4));
        line.wait(19ms);
        QVERIFY(line.sent.empty());
        line.wait(2ms);
        QCOMPARE(line.sent, std::vector<std::string>{kQuery0});
        QVERIFY(line.shown.empty());
    }

    void lostReplyAskedForAgainAfterTheTimeout()
    {
        Line line;
        line.startReading();
        line.receive(reply(1));
        line.sent.clear();
        line.wait(499ms);
        QVERIFY(line.sent.empty());
        QCOMPARE(line.cycle.status().stale, StaleReason::none);
        line.wait(1ms);
        QCOMPARE(line.sent, std::vector<std::string>{kQuery0});
        QCOMPARE(line.cycle.status().stale, StaleReason::noAnswer);
        QCOMPARE(line.cycle.counters().timeouts, 1u);

        line.wait(10ms);
        line.receive(reply(2));
        QCOMPARE(line.shown, (std::vector<std::string>{"1", "2"}));
        QCOMPARE(line.cycle.status().stale, StaleReason::none);
    }

    void badCheckDiscardedAndQueriedAfterSilence()
    {
        Line line;
        line.startReading();
        Bytes bad = reply(77);
        bad[3] ^= 0x01;
        line.receive(bad);
        QVERIFY(line.sent.empty());
        line.wait(10ms);
        line.receive(text("zz")); // more of the garbled reply pushes the silence back
        line.wait(19ms);
        QVERIFY(line.sent.empty());
        line.wait(1ms);
        QCOMPARE(line.sent, std::vector<std::string>{kQuery0});
        QVERIFY(line.shown.empty());
        QCOMPARE(line.cycle.counters().badChecks, 1u);
        QCOMPARE(line.cycle.status().stale, StaleReason::none); // not yet longer than the time-out

        for (int i = 0; i < 25; ++i) {
            line.receive(bad);
            line.wait(21ms);
        }
        QCOMPARE(line.cycle.status().stale, StaleReason::badCheck);
        QVERIFY(!line.cycle.status().echoSuspected);
    }

    // Junk that trails a reply joins the next one; that reply is lost, but the one
    // after it is read, and only one command follows each.
    void strayBytesBetweenRepliesCostOneReply()
    {
        Line line;
        line.startReading();
        line.receive(reply(1));
        line.wait(1ms);
        line.receive(text("\x7f"));
        line.wait(3ms);
        line.receive(reply(2));
        line.wait(25ms);
        line.receive(reply(3));
        QCOMPARE(line.shown, (std::vector<std::string>{"1", "3"}));
        QCOMPARE(line.sent.size(), size_t(3));
    }

    // After three failed replies in a row the module is set up again.
    void threeFailuresSetUpAgain_data()
    {
        QTest::addColumn<QList<bool>>("lost"); // per failure: lost (true) or bad check (false)

        QTest::newRow("three lost") << QList<bool>{true, true, true};
        QTest::newRow("three bad") << QList<bool>{false, false, false};
        QTest::newRow("lost, bad, bad") << QList<bool>{true, false, false};
        QTest::newRow("bad, bad, lost") << QList<bool>{false, false, true};
    }

    void threeFailuresSetUpAgain()
    {
        QFETCH(QList<bool>, lost);
        Line line;
        line.startReading();
        Bytes bad = reply(9);
        bad[0] ^= 0x80;
        for (bool isLost : lost) {
            if (isLost) {
                line.wait(500ms);
            } else {
                line.receive(bad);
                line.wait(20ms);
            }
        }
        QCOMPARE(line.sent, (std::vector<std::string>{kQuery0, kQuery0, kSetup0}));
        QVERIFY(line.shown.empty());
    }

    void lostAcknowledgementRepeatsTheParameterCommand()
    {
        Line line;
        line.read();
        line.wait(500ms);
        line.wait(500ms);
        QCOMPARE(line.sent, (std::vector<std::string>{kSetup0, kSetup0, kSetup0}));
        QCOMPARE(line.cycle.status().stale, StaleReason::noAnswer);
    }

    void readWhileReadingStartsOver()
    {
        Line line;
        line.startReading();
        line.read();
        QCOMPARE(line.sent, std::vector<std::string>{kSetup0});
        // The reply to the old query arrives: it counts as the answer, and only one
        // command follows it.
        line.receive(reply(3));
        line.wait(100ms);
        QCOMPARE(line.sent, (std::vector<std::string>{kSetup0, kQuery0}));
        QCOMPARE(line.shown, std::vector<std::string>{"3"});
    }

    void stopLetsTheReplyInFlightShow()
    {
        Line line;
        line.startReading();
        line.stop();
        QCOMPARE(line.cycle.status().phase, CyclePhase::stopped);
        line.receive(reply(11));
        line.wait(2s);
        QCOMPARE(line.shown, std::vector<std::string>{"11"});
        QVERIFY(line.sent.empty());
        QCOMPARE(line.cycle.status().stale, StaleReason::none);
        QVERIFY(!line.cycle.deadline());
    }

    void stopThenReadSetsUpAgain()
    {
        Line line;
        line.startReading();
        line.stop();
        line.wait(1s);
        line.read();
        QCOMPARE(line.sent, std::vector<std::string>{kSetup0});
    }

    void addressEditWhileReading_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QStringList>("next");

        QTest::newRow("new address is set up first") << "7" << QStringList{"S07;COF8;", "S07;MSV?;"};
        QTest::newRow("invalid text keeps the address") << "99" << QStringList{"S00;MSV?;", "S00;MSV?;"};
        QTest::newRow("empty text keeps the address") << "" << QStringList{"S00;MSV?;", "S00;MSV?;"};
        QTest::newRow("same address written differently") << "&H0" << QStringList{"S00;MSV?;", "S00;MSV?;"};
    }

    void addressEditWhileReading()
    {
        QFETCH(QString, edit);
        QFETCH(QStringList, next);
        Line line;
        line.startReading();
        line.cycle.setAddressText(edit.toStdString());
        line.receive(reply(1));
        line.wait(5ms);
        line.receive(next.first().contains("COF8") ? kAck : reply(2));
        line.wait(25ms);
        QStringList sent;
        for (const auto &s : line.sent)
            sent << QString::fromStdString(s);
        QCOMPARE(sent, next);
    }

    void readWithInvalidAddressSendsNothing_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("empty") << "";
        QTest::newRow("letters") << "abc";
        QTest::newRow("32") << "32";
        QTest::newRow("negative") << "-1";
    }

    void readWithInvalidAddressSendsNothing()
    {
        QFETCH(QString, address);
        Line line;
        line.cycle.setAddressText(address.toStdString());
        line.read();
        QVERIFY(line.refused);
        QVERIFY(line.sent.empty());
        QCOMPARE(line.cycle.status().phase, CyclePhase::ready);
    }

    void negativeCountIsIgnored()
    {
        Line line;
        line.startReading();
        const Bytes r = reply(5);
        line.apply(line.cycle.ShowData(r, -1, line.now));
        QVERIFY(line.shown.empty());
        QVERIFY(line.sent.empty());
    }

    void echoDroppedWhenAsked()
    {
        CycleSettings settings;
        settings.dropEcho = true;
        Line line(settings);
        line.read();
        line.receive(text(kSetup0));
        line.receive(kAck);
        line.wait(25ms);
        line.receive(text(kQuery0));
        line.receive(reply(-7));
        QCOMPARE(line.shown, std::vector<std::string>{"-7"});
    }

    void echoWithoutTheOptionIsReportedAsSuch()
    {
        Line line;
        line.read();
        line.receive(text(kSetup0));
        line.receive(kAck);
        line.wait(25ms);
        for (int i = 0; i < 25; ++i) {
            line.receive(text(line.sent.back()));
            line.receive(reply(-7));
            line.wait(25ms);
        }
        QVERIFY(line.shown.empty());
        QCOMPARE(line.cycle.status().stale, StaleReason::badCheck);
        QVERIFY(line.cycle.status().echoSuspected);
    }

    // A module that streams garbage must not make the reader spin: queries stay one per
    // time-out, and the first quiet reply after the flood is read.
    void floodIsBoundedAndRecoveredFrom()
    {
        Line line;
        line.startReading();
        for (int ms = 0; ms < 3000; ++ms) {
            line.receive(text("\xA5\x5A\x01"));
            line.wait(1ms);
        }
        QVERIFY(line.sent.size() <= 7);
        QVERIFY(line.shown.empty());
        line.wait(600ms);
        line.sent.clear();
        line.receive(reply(123));
        QCOMPARE(line.shown, std::vector<std::string>{"123"});
        QCOMPARE(line.sent.size(), size_t(1));
    }
};

QTEST_APPLESS_MAIN(tst_readcycle)
#include "tst_readcycle.moc"
