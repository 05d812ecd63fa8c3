#include "protocol/ValueReply.h"
#include "reader/ScanCycle.h"

#include <QTest>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

using namespace kvp;
using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A value reply of any length: three value bytes, their XOR, filler, CR LF.
Bytes reply(std::int32_t value, size_t length = 6)
{
    const auto r = encodeValueReply(value);
    Bytes bytes(r.begin(), r.begin() + 4);
    while (bytes.size() + 2 < length)
        bytes.push_back(' ');
    bytes.push_back('\r');
    bytes.push_back('\n');
    return bytes;
}

Bytes join(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// What the reader has learned after a few good replies of this length.
ReplyFraming learned(size_t length)
{
    ReplyFraming framing;
    for (size_t i = 0; i < ReplyFraming::kLengthVotes; ++i)
        framing.observed(length);
    for (size_t i = 0; i < ReplyFraming::kTrailerVotes; ++i)
        framing.accepted(reply(int(i), length));
    return framing;
}

// The same learned at every address, or at the given ones only.
Framings learnedAt(size_t length, std::vector<int> addresses = {})
{
    if (addresses.empty())
        for (int a = 0; a < 32; ++a)
            addresses.push_back(a);
    Framings framings;
    if (length > 0)
        for (const int a : addresses)
            framings.emplace(a, learned(length));
    return framings;
}

std::int32_t valueAt(int address)
{
    return -1000 * address - 7;
}

// One piece of what a module puts on the line, this long after the query was sent.
struct Piece {
    Clock::duration after;
    Bytes bytes;
};
// What each address does when asked; an address not listed never answers.
using Plans = std::map<int, std::vector<Piece>>;
using Answers = std::vector<ScanAnswer>;

std::vector<Piece> answers(int address, size_t length = 6, Clock::duration after = 5ms)
{
    return {{after, reply(valueAt(address), length)}};
}

// A reply in two pieces, cut after `cut` bytes, with a pause between.
std::vector<Piece> splitAnswer(int address, size_t cut, Clock::duration pause, size_t length = 6)
{
    const Bytes whole = reply(valueAt(address), length);
    return {{5ms, Bytes(whole.begin(), whole.begin() + long(cut))},
            {5ms + pause, Bytes(whole.begin() + long(cut), whole.end())}};
}

// The line as the edge drives it: every query the scan sends makes the addressed
// module's plan arrive, piece by piece, at its time; the timer fires at deadline().
struct Bus
{
    Bus(Plans plans, ScanSettings settings = {}, Framings framings = {})
        : scan(settings, std::move(framings)), plans(std::move(plans)) {}

    ScanCycle scan;
    Plans plans;
    Plans second;
    Plans third; // when asked a third time
    TimePoint start = TimePoint{} + std::chrono::hours(1000);
    TimePoint now = start;
    std::multimap<TimePoint, Bytes> arriving;
    std::vector<std::string> sent;
    Answers found;
    std::vector<ScanProgress> progress;
    bool finished = false;
    TimePoint finishedAt{};

    void apply(const ScanActions &a)
    {
        if (a.progress)
            progress.push_back(*a.progress);
        if (a.found)
            found.push_back(*a.found);
        if (a.finished) {
            finished = true;
            finishedAt = now;
        }
        if (!a.send)
            return;
        sent.push_back(*a.send);
        const int address = std::stoi(a.send->substr(1, 2));
        const auto asked = std::count(sent.begin(), sent.end(), *a.send);
        Plans &plan = asked > 2 && third.count(address) ? third : asked > 1 && second.count(address) ? second : plans;
        for (const Piece &p : plan[address])
            arriving.emplace(now + p.after, p.bytes);
    }
    void at(Clock::duration after, Bytes noise) { arriving.emplace(now + after, std::move(noise)); }
    void run(TimePoint until)
    {
        while (!finished && now < until) {
            const auto due = scan.deadline();
            const auto next = arriving.empty() ? due : std::optional(std::min(arriving.begin()->first, due.value_or(TimePoint::max())));
            if (!next || *next > until) {
                now = until;
                break;
            }
            if (!arriving.empty() && (!due || arriving.begin()->first <= *due)) {
                now = std::max(now, arriving.begin()->first);
                const Bytes bytes = arriving.begin()->second;
                arriving.erase(arriving.begin());
                apply(scan.ShowData(bytes, std::int16_t(bytes.size()), now));
            } else if (due) {
                now = std::max(now, *due);
                apply(scan.tick(now));
            } else {
                break;
            }
        }
    }
    void runToEnd()
    {
        apply(scan.start(now));
        run(now + 60s);
    }
};

} // namespace

Q_DECLARE_METATYPE(Plans)
Q_DECLARE_METATYPE(Answers)

class TestScanCycle : public QObject
{
    Q_OBJECT

private slots:
    void scan_data()
    {
        QTest::addColumn<Plans>("plans");
        QTest::addColumn<int>("learnedLength"); // 0: nothing learned
        QTest::addColumn<bool>("echo");
        QTest::addColumn<Answers>("expected");
        QTest::addColumn<std::vector<int>>("garbled");
        QTest::addColumn<std::vector<int>>("late");

        const auto found = [](std::initializer_list<int> addresses) {
            Answers a;
            for (int address : addresses)
                a.push_back({address, valueAt(address)});
            return a;
        };
        const Bytes noise{0x5A};

        QTest::newRow("all absent") << Plans{} << 0 << false << Answers{} << std::vector<int>{} << std::vector<int>{};
        QTest::newRow("several present") << Plans{{3, answers(3)}, {5, answers(5)}, {17, answers(17)}} << 0 << false
                                         << found({3, 5, 17}) << std::vector<int>{} << std::vector<int>{};
        QTest::newRow("first and last address") << Plans{{0, answers(0)}, {31, answers(31)}} << 0 << false
                                                << found({0, 31}) << std::vector<int>{} << std::vector<int>{};
        QTest::newRow("several present, length learned")
            << Plans{{3, answers(3, 8)}, {5, answers(5, 8)}} << 8 << false << found({3, 5}) << std::vector<int>{}
            << std::vector<int>{};
        QTest::newRow("a module with another length than learned")
            << Plans{{3, answers(3, 8)}, {5, answers(5, 12)}} << 6 << false << found({3, 5}) << std::vector<int>{}
            << std::vector<int>{};
        QTest::newRow("a shorter module than learned waits to the time-out")
            << Plans{{3, answers(3, 6)}} << 8 << false << found({3}) << std::vector<int>{} << std::vector<int>{};
        QTest::newRow("long reply, nothing learned")
            << Plans{{9, answers(9, 12)}} << 0 << false << found({9}) << std::vector<int>{} << std::vector<int>{};
        QTest::newRow("split, pause inside the byte gap")
            << Plans{{4, splitAnswer(4, 3, 10ms)}} << 0 << false << found({4}) << std::vector<int>{} << std::vector<int>{};
        QTest::newRow("split, pause past the byte gap")
            << Plans{{4, splitAnswer(4, 3, 40ms)}} << 0 << false << found({4}) << std::vector<int>{} << std::vector<int>{};
        QTest::newRow("split, pause past the byte gap, length learned")
            << Plans{{4, splitAnswer(4, 6, 40ms, 8)}} << 8 << false << found({4}) << std::vector<int>{}
            << std::vector<int>{};
        QTest::newRow("late answer, next address absent")
            << Plans{{4, answers(4, 6, 85ms)}} << 0 << false << Answers{} << std::vector<int>{} << std::vector<int>{4};
        QTest::newRow("late answer, next address present")
            << Plans{{4, answers(4, 6, 90ms)}, {5, answers(5)}} << 0 << false << found({5}) << std::vector<int>{}
            << std::vector<int>{4};
        QTest::newRow("late answer trickling in")
            << Plans{{4, {{85ms, Bytes{1, 2}}, {100ms, Bytes{3, 0, '\r'}}, {115ms, Bytes{'\n'}}}}, {5, answers(5)}} << 0
            << false << found({5}) << std::vector<int>{} << std::vector<int>{4};
        QTest::newRow("bad check byte") << Plans{{6, {{5ms, join(Bytes{1, 2, 3, 4}, Bytes{'\r', '\n'})}}}} << 0 << false
                                        << Answers{} << std::vector<int>{6} << std::vector<int>{};
        QTest::newRow("bad check byte beside a good module")
            << Plans{{6, {{5ms, Bytes{1, 2, 3, 4, '\r', '\n'}}}}, {7, answers(7)}} << 6 << false << found({7})
            << std::vector<int>{6} << std::vector<int>{};
        QTest::newRow("stray byte ahead, length learned")
            << Plans{{8, {{5ms, join(Bytes{0xFF}, reply(valueAt(8)))}}}} << 6 << false << found({8}) << std::vector<int>{}
            << std::vector<int>{};
        QTest::newRow("stray byte behind, length learned")
            << Plans{{8, {{5ms, join(reply(valueAt(8)), Bytes{0x00})}}}, {9, answers(9)}} << 6 << false
            << found({8, 9}) << std::vector<int>{} << std::vector<int>{};
        QTest::newRow("stray byte behind, nothing learned")
            << Plans{{8, {{5ms, join(reply(valueAt(8)), Bytes{0x00})}}}} << 0 << false << found({8})
            << std::vector<int>{} << std::vector<int>{};
        QTest::newRow("a lone byte is no answer")
            << Plans{{2, {{5ms, noise}}}} << 0 << false << Answers{} << std::vector<int>{} << std::vector<int>{};
        QTest::newRow("noise longer than any reply") << Plans{{2, {{5ms, Bytes(64, 0x55)}}}, {3, answers(3)}} << 0
                                                     << false << found({3}) << std::vector<int>{2} << std::vector<int>{};
        QTest::newRow("echo dropped")
            << Plans{{3, {{1ms, Bytes{'S', '0', '3', ';', 'M', 'S', 'V', '?', ';'}}, {5ms, reply(valueAt(3))}}}} << 0
            << true << found({3}) << std::vector<int>{} << std::vector<int>{};
        // --echo on a line that does not echo: a value whose bytes spell the query's
        // start is the answer, not an echo.
        QTest::newRow("echo expected, none heard, a value beginning S03")
            << Plans{{3, {{5ms, reply(0x533033)}}}} << 0 << true << Answers{{3, 0x533033}} << std::vector<int>{}
            << std::vector<int>{};
        // Every cut of a reply, with a pause longer than the byte gap.
        for (size_t cut = 1; cut < 6; ++cut)
            QTest::addRow("split after byte %zu", cut)
                << Plans{{9, splitAnswer(9, cut, 30ms)}} << 0 << false << found({9}) << std::vector<int>{}
                << std::vector<int>{};
    }

    void scan()
    {
        QFETCH(Plans, plans);
        QFETCH(int, learnedLength);
        QFETCH(bool, echo);
        QFETCH(Answers, expected);
        QFETCH(std::vector<int>, garbled);
        QFETCH(std::vector<int>, late);

        // The quick pass alone: what it hears and how it judges it.
        Bus bus(plans, ScanSettings{.retryTimeout = 0ms, .dropEcho = echo}, learnedAt(size_t(learnedLength)));
        bus.runToEnd();

        QVERIFY(bus.finished);
        QVERIFY(bus.found == expected);
        QVERIFY(bus.scan.found() == expected);
        QCOMPARE(bus.scan.garbled(), garbled);
        QCOMPARE(bus.scan.late(), late);
        // Every address asked once, in order, with the value query only: a scan
        // changes no module's settings.
        QCOMPARE(bus.sent.size(), size_t(32));
        for (int a = 0; a < 32; ++a)
            QCOMPARE(bus.sent[size_t(a)], QString::asprintf("S%02d;MSV?;", a).toStdString());
        QCOMPARE(bus.progress.back(), (ScanProgress{31, 32, 32}));
    }

    // The quick pass, then a second chance for what came late or garbled.
    void secondChance_data()
    {
        QTest::addColumn<Plans>("plans");
        QTest::addColumn<Plans>("second"); // what an address does when asked again
        QTest::addColumn<int>("timeoutMs"); // the user's, or 0
        QTest::addColumn<Answers>("expected");
        QTest::addColumn<std::vector<int>>("garbled");
        QTest::addColumn<std::vector<int>>("late");
        QTest::addColumn<int>("asked");
        const Bytes bad{1, 2, 3, 4, '\r', '\n'};
        QTest::newRow("90 ms: late, then found") << Plans{{4, answers(4, 6, 90ms)}} << Plans{} << 0
                                                 << Answers{{4, valueAt(4)}} << std::vector<int>{}
                                                 << std::vector<int>{} << 33;
        QTest::newRow("600 ms: late twice") << Plans{{4, answers(4, 6, 600ms)}} << Plans{} << 0 << Answers{}
                                            << std::vector<int>{} << std::vector<int>{4} << 38;
        QTest::newRow("garbled, then good") << Plans{{6, {{5ms, bad}}}} << Plans{{6, answers(6)}} << 0
                                            << Answers{{6, valueAt(6)}} << std::vector<int>{} << std::vector<int>{}
                                            << 33;
        QTest::newRow("garbled twice") << Plans{{6, {{5ms, bad}}}} << Plans{} << 0 << Answers{}
                                       << std::vector<int>{6} << std::vector<int>{} << 33;
        QTest::newRow("late, then silent: those before it asked") << Plans{{4, answers(4, 6, 90ms)}}
                                                                  << Plans{{4, {}}} << 0 << Answers{}
                                                                  << std::vector<int>{} << std::vector<int>{} << 37;
        QTest::newRow("150 ms: heard at the next address, put right")
            << Plans{{4, answers(4, 6, 150ms)}} << Plans{} << 0 << Answers{{4, valueAt(4)}} << std::vector<int>{}
            << std::vector<int>{} << 38;
        QTest::newRow("an answer after a silent address is confirmed")
            << Plans{{3, answers(3)}, {5, answers(5)}} << Plans{} << 0 << Answers{{3, valueAt(3)}, {5, valueAt(5)}}
            << std::vector<int>{} << std::vector<int>{} << 34;
        QTest::newRow("the user's 200 ms: one pass") << Plans{{4, answers(4, 6, 150ms)}} << Plans{} << 200
                                                     << Answers{{4, valueAt(4)}} << std::vector<int>{}
                                                     << std::vector<int>{} << 32;
    }

    void secondChance()
    {
        QFETCH(Plans, plans);
        QFETCH(Plans, second);
        QFETCH(int, timeoutMs);
        QFETCH(Answers, expected);
        QFETCH(std::vector<int>, garbled);
        QFETCH(std::vector<int>, late);
        QFETCH(int, asked);
        CycleSettings reading;
        if (timeoutMs > 0) {
            reading.replyTimeout = std::chrono::milliseconds(timeoutMs);
            reading.adaptTimeout = false;
        }
        Bus bus(plans, ScanSettings::like(reading));
        bus.second = second;
        bus.runToEnd();
        QVERIFY(bus.finished);
        QVERIFY(bus.scan.found() == expected);
        QCOMPARE(bus.scan.garbled(), garbled);
        QCOMPARE(bus.scan.late(), late);
        QCOMPARE(bus.sent.size(), size_t(asked));
        QVERIFY(!bus.scan.everyAddressAnswered());
    }

    // A module that lost its reply when first asked: asked again, found and named, so
    // that a lossy line is said rather than the module quietly missed.
    void silentOnesAskedAgain_data()
    {
        QTest::addColumn<bool>("askAgain");
        QTest::addColumn<int>("timeoutMs"); // the user's, or 0
        QTest::addColumn<Plans>("second");
        QTest::addColumn<Answers>("expected");
        QTest::addColumn<std::vector<int>>("lossy");
        QTest::addColumn<int>("asked");
        QTest::newRow("lost once, found asked again") << true << 0 << Plans{{5, answers(5)}} << Answers{{3, valueAt(3)}, {5, valueAt(5)}}
                                                       << std::vector<int>{5} << 64;
        QTest::newRow("lost twice") << true << 0 << Plans{} << Answers{{3, valueAt(3)}} << std::vector<int>{} << 64;
        QTest::newRow("the user's time-out: asked again too") << true << 100 << Plans{{5, answers(5)}}
                                                             << Answers{{3, valueAt(3)}, {5, valueAt(5)}}
                                                             << std::vector<int>{5} << 63;
        QTest::newRow("heard behind a silent one, lost when asked to confirm") << true << 0 << Plans{{5, {}}}
            << Answers{{3, valueAt(3)}, {5, valueAt(5)}} << std::vector<int>{5} << 65;
        QTest::newRow("not asked again: missed") << false << 0 << Plans{{5, answers(5)}} << Answers{{3, valueAt(3)}}
                                                 << std::vector<int>{} << 33;
    }
    void silentOnesAskedAgain()
    {
        QFETCH(bool, askAgain);
        QFETCH(int, timeoutMs);
        QFETCH(Plans, second);
        QFETCH(Answers, expected);
        QFETCH(std::vector<int>, lossy);
        QFETCH(int, asked);
        CycleSettings reading;
        if (timeoutMs > 0) {
            reading.replyTimeout = std::chrono::milliseconds(timeoutMs);
            reading.adaptTimeout = false;
        }
        ScanSettings settings = ScanSettings::like(reading);
        settings.askSilentAgain = askAgain;
        const bool heardFirst = QByteArray(QTest::currentDataTag()).startsWith("heard");
        Bus bus(Plans{{3, answers(3)}, {5, heardFirst ? answers(5) : std::vector<Piece>{}}}, settings);
        bus.second = second;
        if (heardFirst)
            bus.third = {{5, answers(5)}};
        bus.runToEnd();
        QVERIFY(bus.finished);
        QVERIFY(bus.scan.found() == expected);
        QCOMPARE(bus.scan.lossy(), lossy);
        QCOMPARE(bus.sent.size(), size_t(asked));
        // Asked again as briefly as the first time: a quiet line stays quick.
        QVERIFY(bus.finishedAt - bus.start < 8s);
    }

    void everyAddressAnswering()
    {
        Plans plans;
        for (int a = 0; a < 32; ++a)
            plans[a] = answers(a);
        Bus bus(plans);
        bus.runToEnd();
        QVERIFY(bus.scan.everyAddressAnswered());
    }

    void quietLineTakesUnderFourSeconds()
    {
        Bus bus({});
        bus.runToEnd();
        QVERIFY(bus.finished);
        // Each query also takes its own line time: 9 bytes at 19200 bit/s, 8E1.
        const auto lineTime = 32 * 9 * 11 * 1s / 19200;
        QVERIFY(bus.finishedAt - bus.start + lineTime < 4s);
    }

    void replyInFlightBeforeStartIsNotAnAnswer()
    {
        // The reader's last reply arrives just after the scan began.
        Bus bus({});
        bus.apply(bus.scan.start(bus.now));
        bus.at(5ms, reply(12345));
        bus.run(bus.now + 60s);
        QVERIFY(bus.found.empty());
        QCOMPARE(bus.sent.size(), size_t(32));
    }

    // Cut short as the second pass begins, the scan still knows the answers it heard
    // right after silent addresses, which that pass was to confirm.
    void cancelInTheSecondPassKeepsWhatWasHeard()
    {
        Bus bus({{3, answers(3)}, {5, answers(5)}});
        bus.apply(bus.scan.start(bus.now));
        while (bus.sent.size() < 33 && bus.now < bus.start + 60s)
            bus.run(bus.now + 1ms);
        QCOMPARE(bus.sent.back(), std::string("S03;MSV?;"));
        bus.apply(bus.scan.cancel(bus.now));
        QVERIFY(bus.found.empty());
        QVERIFY(bus.scan.unconfirmed() == (Answers{{3, valueAt(3)}, {5, valueAt(5)}}));
    }

    void cancelMidway_data()
    {
        // Address 2 answers at once, so address 10 is asked 945 ms in, times out
        // at 1025 ms, and address 11 would be asked at 1045 ms.
        QTest::addColumn<Clock::duration>("after");
        QTest::newRow("while an address is asked") << Clock::duration(1010ms);
        QTest::newRow("in the quiet between addresses") << Clock::duration(1035ms);
    }

    void cancelMidway()
    {
        QFETCH(Clock::duration, after);
        Bus bus({{2, answers(2)}, {20, answers(20)}}, ScanSettings{.retryTimeout = 0ms});
        bus.apply(bus.scan.start(bus.now));
        bus.run(bus.start + after);
        QCOMPARE(bus.sent.back(), std::string("S10;MSV?;"));
        const size_t sentBefore = bus.sent.size();
        bus.apply(bus.scan.cancel(bus.now));
        QVERIFY(bus.finished);
        QVERIFY(bus.scan.cancelled());
        QVERIFY(!bus.scan.deadline());
        bus.apply(bus.scan.ShowData(reply(1), 6, bus.now + 1ms));
        bus.apply(bus.scan.tick(bus.now + 1s));
        QCOMPARE(bus.sent.size(), sentBefore);
        QVERIFY(bus.found == (Answers{{2, valueAt(2)}}));
    }
};

QTEST_GUILESS_MAIN(TestScanCycle)
#include "tst_scancycle.moc"
