// The traffic view's pure parts: the verdict each gathered block gets, read off the
// read cycle's counts, and the ring of the last entries.
#include "protocol/Commands.h"
#include "reader/ReadCycle.h"
#include "reader/TrafficJudge.h"
#include "reader/TrafficRing.h"

#include <QTest>

using namespace kvp;
using Kind = TrafficEntry::Kind;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(kvp::TrafficEntry::Kind)

namespace {

std::vector<std::uint8_t> bytes(std::initializer_list<int> list)
{
    return std::vector<std::uint8_t>(list.begin(), list.end());
}

CycleActions sending(std::string command)
{
    CycleActions actions;
    actions.send = std::move(command);
    return actions;
}

} // namespace

class tst_traffic : public QObject
{
    Q_OBJECT

private slots:
    // One command, one block back, one change of the counts: the verdict that block gets.
    void verdicts_data()
    {
        QTest::addColumn<bool>("setUp");     // the command was the parameter command
        QTest::addColumn<int>("counter");    // which count went up; -1: none
        QTest::addColumn<bool>("nextSent");  // the cycle sent its next command with it
        QTest::addColumn<Kind>("verdict");
        QTest::newRow("a value") << false << 0 << true << Kind::goodValue;
        QTest::newRow("a time-out") << false << 1 << true << Kind::timeout;
        QTest::newRow("a bad check byte") << false << 2 << false << Kind::badCheck;
        QTest::newRow("bad trailing bytes") << false << 3 << false << Kind::badTrailer;
        QTest::newRow("a short reply") << false << 4 << false << Kind::shortReply;
        QTest::newRow("a late reply, said when the line is left") << false << 5 << true << Kind::late;
        QTest::newRow("set-up acknowledged") << true << -1 << true << Kind::acknowledged;
        QTest::newRow("bytes nobody asked for") << false << -1 << true << Kind::thrownAway;
    }
    void verdicts()
    {
        QFETCH(bool, setUp);
        QFETCH(int, counter);
        QFETCH(bool, nextSent);
        QFETCH(Kind, verdict);
        TrafficJudge judge;
        CycleCounters counts;
        const TimePoint t0{1s};
        const std::string command = setUp ? BuildParameterCommand("7") : BuildValueQuery("7");
        auto first = judge.judged(counts, sending(command), t0);
        QCOMPARE(first.size(), 1u);
        QCOMPARE(first[0].kind, Kind::sent);
        QCOMPARE(first[0].address, 7);
        QCOMPARE(first[0].bytes, command);

        const auto reply = bytes({0x01, 0x02, 0x03, 0x00, 0x0D, 0x0A});
        judge.received(reply);
        std::uint64_t *counters[] = {&counts.goodValues,   &counts.timeouts,     &counts.badChecks,
                                     &counts.badTrailers, &counts.shortReplies, &counts.lateReplies};
        if (counter >= 0)
            ++*counters[counter];
        const auto out = judge.judged(counts, nextSent ? sending(BuildValueQuery("7")) : CycleActions{}, t0 + 30ms);
        QCOMPARE(out.size(), nextSent ? 2u : 1u);
        QCOMPARE(out[0].kind, verdict);
        QCOMPARE(out[0].address, 7);
        QCOMPARE(out[0].byteCount, reply.size());
        QCOMPARE(out[0].at, t0 + 30ms);
        if (nextSent)
            QCOMPARE(out[1].kind, Kind::sent);
    }

    // A new run starts the counts at zero: no verdict is read into that.
    void aNewRunJudgesNothing()
    {
        TrafficJudge judge;
        CycleCounters counts;
        counts.goodValues = 10;
        counts.timeouts = 2;
        judge.judged(counts, {}, TimePoint{});
        const auto out = judge.judged(CycleCounters{}, sending(BuildParameterCommand("0")), TimePoint{});
        QCOMPARE(out.size(), 1u);
        QCOMPARE(out[0].kind, Kind::sent);
    }

    // A flood is counted, not kept.
    void aFloodIsCountedNotKept()
    {
        TrafficJudge judge;
        judge.judged({}, sending(BuildValueQuery("0")), TimePoint{});
        const std::vector<std::uint8_t> flood(5000, 0x55);
        judge.received(flood);
        judge.received(flood);
        CycleCounters counts;
        counts.badChecks = 1;
        const auto out = judge.judged(counts, {}, TimePoint{});
        QCOMPARE(out[0].bytes.size(), TrafficEntry::kMostBytes);
        QCOMPARE(out[0].byteCount, 10000u);
    }

    // The read cycle itself, one clean exchange: what the judge makes of its counts.
    void theCycleAsItRuns()
    {
        ReadCycle cycle;
        TrafficJudge judge;
        TimePoint now{10s};
        std::vector<TrafficEntry> all;
        const auto step = [&](const CycleActions &actions) {
            for (auto &e : judge.judged(cycle.counters(), actions, now))
                all.push_back(e);
        };
        step(cycle.Read_Click(now));
        const auto ack = bytes({0x06});
        judge.received(ack);
        step(cycle.ShowData(ack, 1, now += 5ms));
        step(cycle.tick(now += 50ms));
        const auto reply = bytes({0x01, 0x02, 0x03, 0x00, 0x0D, 0x0A});
        judge.received(reply);
        step(cycle.ShowData(reply, std::int16_t(reply.size()), now += 5ms));
        step(cycle.tick(now += 50ms));
        std::vector<Kind> kinds;
        for (const auto &e : all)
            kinds.push_back(e.kind);
        const std::vector<Kind> expected{Kind::sent, Kind::acknowledged, Kind::sent, Kind::goodValue, Kind::sent};
        QCOMPARE(kinds, expected);
    }

    // The ring keeps the last entries, oldest first, and never more than it holds.
    void ringKeepsTheLast_data()
    {
        QTest::addColumn<int>("added");
        QTest::newRow("fewer than it holds") << 5;
        QTest::newRow("exactly full") << 200;
        QTest::newRow("wrapped round twice and a bit") << 457;
    }
    void ringKeepsTheLast()
    {
        QFETCH(int, added);
        TrafficRing ring(200);
        for (int i = 0; i < added; ++i)
            ring.add(TrafficEntry{TimePoint{}, i, Kind::sent, {}, 0});
        QCOMPARE(ring.size(), std::size_t(std::min(added, 200)));
        QCOMPARE(ring.added(), std::size_t(added));
        for (std::size_t i = 0; i < ring.size(); ++i)
            QCOMPARE(ring.at(i).address, int(added - ring.size() + i));
    }
};

QTEST_APPLESS_MAIN(tst_traffic)
#include "tst_traffic.moc"
