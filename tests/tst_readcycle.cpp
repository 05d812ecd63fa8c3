#include "protocol/ValueReply.h"
#include "reader/CounterSummary.h"
#include "reader/ReadCycle.h"

#include <QTest>

#include <functional>
#include <limits>
#include <map>
#include <set>
#include <optional>

#include <string>
#include <vector>

using namespace kvp;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(kvp::StaleReason)

namespace {

using Bytes = std::vector<std::uint8_t>;

// A value reply of any length: three value bytes, their XOR, filler, CR LF. With a
// status byte, that byte stands right after the check byte.
Bytes reply(std::int32_t value, size_t length = 6, std::optional<std::uint8_t> status = {})
{
    const auto r = encodeValueReply(value);
    Bytes bytes(r.begin(), r.begin() + 4);
    for (size_t i = 4; i + 2 < length; ++i)
        bytes.push_back(static_cast<std::uint8_t>('0' + i));
    bytes.push_back('\r');
    bytes.push_back('\n');
    if (status)
        bytes[4] = *status;
    return bytes;
}

// The byte a status-byte module sends after the check byte of its i-th reply.
std::uint8_t status(int i)
{
    return std::uint8_t(i * 37);
}

// A value reply whose first `varying` bytes after the check byte change with every
// reply: one is a status byte, all of them leave no fixed line end.
Bytes varied(std::int32_t value, int i, int varying, size_t length = 6)
{
    Bytes bytes = reply(value, length);
    for (int k = 0; k < varying; ++k)
        bytes[size_t(4 + k)] = std::uint8_t(status(i) + k * 101);
    return bytes;
}

Bytes text(std::string_view s)
{
    return Bytes(s.begin(), s.end());
}

Bytes join(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes kAck = text("OK\r\n");
const std::string kSetup0 = "S00;COF8;";
const std::string kQuery0 = "S00;MSV?;";
// Replies, all ended by silence, after which the length and the trailing bytes are
// both learned.
constexpr int kToLearn = int(ReplyFraming::kLengthVotes + ReplyFraming::kTrailerVotes);

// Drives a ReadCycle the way the window does, with a clock the test moves by hand.
// The clock starts far from zero, as a steady clock does.
struct Line
{
    explicit Line(CycleSettings settings = {}) : cycle(settings) {}

    ReadCycle cycle;
    TimePoint now = TimePoint{} + std::chrono::hours(1000);
    std::vector<std::string> sent;
    std::vector<TimePoint> sentTimes;
    TimePoint sentAt{};
    std::vector<std::string> shown;
    std::vector<milliseconds> grown;
    int backedOff = 0;
    int answersAgain = 0;
    std::map<int, TimePoint> firstShown; // of each module, the first value's time
    std::vector<std::pair<int, TimePoint>> shownAt;
    std::map<int, Clock::duration> delayOf; // modules that answer later than the others in serve()
    // What serve()'s `respond` sends besides, this long after the answer it made.
    std::optional<std::pair<Clock::duration, Bytes>> alsoAfter;
    int pastDeadlines = 0; // a deadline before now would spin the caller's timer
    bool refused = false;

    void apply(const CycleActions &a)
    {
        if (a.send) {
            sent.push_back(*a.send);
            sentTimes.push_back(now);
            sentAt = now;
        }
        if (a.show) {
            shown.push_back(*a.show);
            firstShown.try_emplace(a.address, now);
            shownAt.emplace_back(a.address, now);
        }
        if (const auto due = cycle.deadline(); cycle.reading() && due && *due < now)
            ++pastDeadlines;
        refused = refused || a.invalidAddress;
        if (a.timeoutGrown)
            grown.push_back(*a.timeoutGrown);
        backedOff += int(a.setAside.size());
        answersAgain += a.answersAgain;
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
    // Lets time pass until the cycle sends its next command (a lost reply: the
    // time-out, and the watch for a late answer).
    void waitForCommand()
    {
        const size_t before = sent.size();
        while (sent.size() == before) {
            const auto due = cycle.deadline();
            QVERIFY(due && *due < now + 10s);
            now = std::max(now, *due);
            apply(cycle.tick(now));
        }
    }
    // A module that answers each command `delay` after it, for `span`.
    // (value replies made by `make`, at most `most` of them).
    void answerEvery(Clock::duration delay, Clock::duration span,
                     const std::function<Bytes(int)> &make = [](int i) { return reply(i); },
                     int most = std::numeric_limits<int>::max())
    {
        int values = 0;
        serve(span, [&](int, bool setUp) -> std::optional<Bytes> {
            if (setUp)
                return kAck;
            if (values == most)
                return std::nullopt;
            return make(values++);
        }, delay);
    }
    // The line for `span`: every command is answered `delay` after it with what
    // `respond` makes of its address and kind (nothing: no answer).
    using Respond = std::function<std::optional<Bytes>(int address, bool setUp)>;
    void serve(Clock::duration span, const Respond &respond, Clock::duration delay = 5ms)
    {
        const TimePoint end = now + span;
        std::multimap<TimePoint, Bytes> arriving;
        size_t answered = 0;
        while (now < end) {
            for (; answered < sent.size(); ++answered) {
                const std::string &c = sent[answered];
                const int address = std::stoi(c.substr(1, 2));
                const auto own = delayOf.find(address);
                const TimePoint at = now + (own == delayOf.end() ? delay : own->second);
                if (auto bytes = respond(address, c.find("COF8") != std::string::npos))
                    arriving.emplace(at, std::move(*bytes));
                if (alsoAfter)
                    arriving.emplace(at + alsoAfter->first, std::move(std::exchange(alsoAfter, std::nullopt)->second));
            }
            const auto due = cycle.deadline();
            const TimePoint bytesAt = arriving.empty() ? TimePoint::max() : arriving.begin()->first;
            now = std::max(now, std::min({due.value_or(TimePoint::max()), bytesAt, end}));
            if (bytesAt <= now) {
                receive(arriving.begin()->second);
                arriving.erase(arriving.begin());
            } else if (due && *due <= now) {
                apply(cycle.tick(now));
            }
        }
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
    // Reading, with the module's reply length and trailing bytes learned; the
    // first `varying` bytes after the check byte change with every reply.
    void learn(size_t length = 6, int varying = 0)
    {
        startReading();
        for (int i = 0; i < kToLearn; ++i) {
            receive(varied(1000 + i, i, varying, length));
            wait(25ms);
        }
        QCOMPARE(cycle.framing().length(), length);
        QCOMPARE(shown.size(), size_t(kToLearn));
        sent.clear();
        shown.clear();
    }
};

QByteArray bytes(const Bytes &b)
{
    return QByteArray(reinterpret_cast<const char *>(b.data()), qsizetype(b.size()));
}

QStringList strings(const std::vector<std::string> &v)
{
    QStringList out;
    for (const auto &s : v)
        out << QString::fromStdString(s);
    return out;
}

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

    // Whatever its length, the module's replies are learned from the first few,
    // which end on silence; from then on a reply ends at its length, and the next
    // query leaves with its last byte.
    void everyLengthLearned_data()
    {
        QTest::addColumn<int>("length");
        for (int length = 6; length <= 16; ++length)
            QTest::addRow("%d bytes", length) << length;
        QTest::newRow("32 bytes, the longest") << 32;
    }

    void everyLengthLearned()
    {
        QFETCH(int, length);
        Line line;
        line.learn(size_t(length));
        for (int v : {5, -5, 8388607, -8388608, 0}) {
            line.wait(3ms);
            line.receive(reply(v, size_t(length)));
        }
        QCOMPARE(line.shown, (std::vector<std::string>{"5", "-5", "8388607", "-8388608", "0"}));
        QCOMPARE(line.sent.size(), size_t(5));
        QCOMPARE(line.cycle.framing().requiredTrailerBytes(), size_t(length - 4));
    }

    // Once the length is known, a reply cut anywhere, with the pieces any time
    // apart within the time-out, is one value and one query.
    void splitAnywhereOnceLearned_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("cut");
        QTest::addColumn<int>("pauseMs");
        for (int length : {6, 8, 12})
            for (int cut = 1; cut < length; ++cut)
                for (int pause : {0, 40})
                    QTest::addRow("%d bytes, cut at %d, %d ms apart", length, cut, pause) << length << cut << pause;
        for (int pause : {16, 100, 250, 450})
            QTest::addRow("8 bytes, cut at 5, %d ms apart", pause) << 8 << 5 << pause;
    }

    void splitAnywhereOnceLearned()
    {
        QFETCH(int, length);
        QFETCH(int, cut);
        QFETCH(int, pauseMs);
        Line line;
        line.learn(size_t(length));
        const Bytes bytes = reply(-1234, size_t(length));
        line.wait(2ms);
        line.receive(Bytes(bytes.begin(), bytes.begin() + cut));
        line.wait(std::chrono::milliseconds(pauseMs));
        QVERIFY(line.sent.empty());
        line.receive(Bytes(bytes.begin() + cut, bytes.end()));
        QCOMPARE(line.shown, std::vector<std::string>{"-1234"});
        QCOMPARE(line.sent, std::vector<std::string>{kQuery0}); // at once, with the last byte
        line.receive(reply(77, size_t(length)));
        QCOMPARE(line.shown, (std::vector<std::string>{"-1234", "77"}));
        const CycleCounters &c = line.cycle.counters();
        QCOMPARE(c.shortReplies, 0u); // the acknowledgement is no fault
        QCOMPARE(c.badChecks + c.badTrailers + c.timeouts, 0u);
    }

    // Before the length is known, a pause longer than the byte gap ends the reply
    // early: that value is lost, but its late rest is never joined to the next
    // reply, and the next value is read.
    void lateRestNeverJoinedToTheNextReply_data()
    {
        QTest::addColumn<bool>("learned");
        QTest::addColumn<int>("cut");
        QTest::addColumn<int>("pauseMs");
        for (int cut = 1; cut < 8; ++cut)
            QTest::addRow("learning, cut at %d, 40 ms", cut) << false << cut << 40;
        for (int cut = 1; cut < 8; ++cut)
            QTest::addRow("learned, cut at %d, just after the time-out", cut) << true << cut << 485;
    }

    void lateRestNeverJoinedToTheNextReply()
    {
        QFETCH(bool, learned);
        QFETCH(int, cut);
        QFETCH(int, pauseMs);
        Line line;
        if (learned) {
            line.learn(8);
        } else {
            line.startReading();
        }
        const Bytes first = reply(111111, 8);
        line.receive(Bytes(first.begin(), first.begin() + cut));
        line.wait(std::chrono::milliseconds(pauseMs));
        line.receive(Bytes(first.begin() + cut, first.end()));
        line.wait(30ms);
        const size_t queries = line.sent.size();
        QVERIFY(queries >= 1);
        line.receive(reply(222222, 8));
        line.wait(30ms);
        for (const auto &v : line.shown)
            QVERIFY2(v == "111111" || v == "222222", v.c_str());
        QCOMPARE(line.shown.back(), std::string("222222"));
        QCOMPARE(line.sent.size(), queries + 1);
    }

    // A spurious byte or few in front of a reply (an RS-485 driver switching on)
    // costs nothing once the module's replies are known; more than a few cost that
    // value, never a wrong one.
    void strayBytesInFront_data()
    {
        QTest::addColumn<QByteArray>("lead");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("read");
        QTest::newRow("00") << QByteArray("\x00", 1) << 6 << true;
        QTest::newRow("FF") << QByteArray("\xFF") << 8 << true;
        QTest::newRow("FF 00") << QByteArray("\xFF\x00", 2) << 8 << true;
        QTest::newRow("three") << QByteArray("\x01\x02\x04") << 12 << true;
        // The block checks as it stands (01^02^03 = 00, the value's top byte): a reply of
        // another length, on the face of it, and not searched. Lost, never misread.
        QTest::newRow("three that check as they stand") << QByteArray("\x01\x02\x03") << 12 << false;
        QTest::newRow("CR LF, the end of an earlier reply") << QByteArray("\r\n") << 6 << true;
        QTest::newRow("four") << QByteArray("\x01\x02\x03\x04") << 8 << false;
        QTest::newRow("ten") << QByteArray(10, '\x55') << 8 << false;
    }

    void strayBytesInFront()
    {
        QFETCH(QByteArray, lead);
        QFETCH(int, length);
        QFETCH(bool, read);
        Line line;
        line.learn(size_t(length));
        const Bytes bytes = join(Bytes(lead.begin(), lead.end()), reply(4242, size_t(length)));
        for (size_t i = 0; i < bytes.size(); ++i)
            line.receive({bytes[i]}); // byte by byte: no piece may be taken too early
        line.wait(30ms);
        QCOMPARE(line.shown, read ? std::vector<std::string>{"4242"} : std::vector<std::string>{});
        QCOMPARE(line.sent.size(), size_t(1));
        if (read)
            QCOMPARE(line.cycle.counters().skippedBytes, std::uint64_t(lead.size()));
        line.receive(reply(5, size_t(length)));
        QCOMPARE(line.shown.back(), std::string("5"));
    }

    // A byte after a reply, in the same arrival, is let pass before the next query;
    // arriving later, it is found in front of the next reply. Neither costs a value,
    // and however often it happens between good replies, the reply length stays.
    void strayByteAfterAReply()
    {
        Line line;
        line.learn(8);
        std::vector<std::string> expected;
        for (int v = 1; v <= 12; v += 4) {
            line.receive(join(reply(v, 8), text("\x7f")));
            QVERIFY(line.sent.empty());
            line.wait(20ms);
            QCOMPARE(line.sent.size(), size_t(1));
            line.receive(reply(v + 1, 8));
            line.receive(text("\x7f"));
            line.receive(reply(v + 2, 8));
            line.receive(reply(v + 3, 8));
            for (int k = 0; k < 4; ++k)
                expected.push_back(std::to_string(v + k));
            QCOMPARE(line.shown, expected);
            line.sent.clear();
        }
        QCOMPARE(line.cycle.framing().length(), std::optional<size_t>(8));
        const CycleCounters &c = line.cycle.counters();
        QCOMPARE(c.discardedBytes, 3u);
        QCOMPARE(c.skippedBytes, 3u);
    }

    // Blocks that pass the check byte somewhere yet are not the module's replies
    // must show nothing, even twice in a row; the next reply is read as usual.
    // A module that sends a reply a second time right behind it: the copy is whole
    // before the next command could have crossed the line, so it is no answer to it,
    // shown twice, with every answer after it one turn late. A steady value answered
    // in time is shown each time, and so is one from a module that answers at once.
    void ownCopyTooSoonIsNoAnswer_data()
    {
        QTest::addColumn<int>("answerAfterMs");
        QTest::addColumn<int>("copyAfterMs"); // after each reply; -1: no copy
        QTest::addColumn<bool>("steady");
        QTest::addColumn<bool>("withTheNext"); // the copy comes with the next answer, as an adapter holds it
        // The copy comes alone, copyAfterMs after the next command, from a module seen
        // to repeat itself (its first reply and copy came in one block).
        QTest::addColumn<bool>("beforeTheNext");
        QTest::newRow("a copy right behind each reply") << 12 << 3 << false << false << false;
        QTest::newRow("a copy held back, with the next answer") << 20 << -1 << false << true << false;
        QTest::newRow("a copy held back a tick, before the next answer") << 20 << 16 << false << false << true;
        QTest::newRow("a steady value, answered in time") << 12 << -1 << true << false << false;
        QTest::newRow("a steady value, answered at once") << 1 << -1 << true << false << false;
        QTest::newRow("a steady value from a module that repeats itself") << 20 << 16 << true << false << true;
    }

    void ownCopyTooSoonIsNoAnswer()
    {
        QFETCH(int, answerAfterMs);
        QFETCH(int, copyAfterMs);
        QFETCH(bool, steady);
        QFETCH(bool, withTheNext);
        QFETCH(bool, beforeTheNext);
        const milliseconds answerAfter(answerAfterMs);
        Line line;
        line.read();
        line.answerEvery(answerAfter, 1s);
        line.shown.clear();
        std::vector<std::string> expected;
        const auto waitUntil = [&line](Clock::duration sinceSent) {
            line.wait(std::max<Clock::duration>(line.sentAt + sinceSent - line.now, 0ms));
        };
        for (int i = 0; i < 12; ++i) {
            const Bytes r = reply(steady ? 5000 : 5000 + i);
            if (beforeTheNext && i > 0) {
                waitUntil(milliseconds(copyAfterMs));
                line.receive(reply(steady ? 5000 : 5000 + i - 1));
            }
            waitUntil(answerAfter);
            line.receive(withTheNext && i > 0 ? join(reply(5000 + i - 1), r) : beforeTheNext && i == 0 ? join(r, r) : r);
            expected.push_back(std::to_string(steady ? 5000 : 5000 + i));
            if (beforeTheNext && i == 0)
                line.waitForCommand(); // the copy behind it is let pass first
            if (copyAfterMs >= 0 && !beforeTheNext) {
                line.wait(milliseconds(copyAfterMs));
                line.receive(r);
            }
        }
        QCOMPARE(strings(line.shown), strings(expected));
    }

    void neverAWrongValue_data()
    {
        QTest::addColumn<int>("varying"); // bytes after the check byte that change every reply
        QTest::addColumn<QByteArray>("block");

        Bytes semicolonLf = reply(5, 9);
        semicolonLf[7] = ';';
        QTest::newRow("another length, ending in ; LF") << 0 << bytes(semicolonLf);
        // A status byte in front of the LF: the line end is not fixed, and a block of
        // another length has nothing but its check byte to vouch for it.
        Bytes lastStatusLf = reply(5, 9);
        lastStatusLf[7] = status(kToLearn - 1);
        QTest::newRow("another length, when the line end is not fixed") << 1 << bytes(lastStatusLf);
        QTest::newRow("four stray bytes that check, in front of a reply")
            << 0 << QByteArray("\x01\x02\x03\x00", 4) + bytes(reply(5));
        QTest::newRow("checks one byte in, with another line end")
            << 0 << QByteArray("\x11\x22\x33\x44\x55\r;");
        QTest::newRow("checks one byte in, with no fixed trailing bytes")
            << 2 << QByteArray("\x11\x22\x33\x44\x55\x66\x77");
    }

    void neverAWrongValue()
    {
        QFETCH(int, varying);
        QFETCH(QByteArray, block);
        Line line;
        line.learn(6, varying);
        for (int i = 0; i < 2; ++i) {
            line.receive(Bytes(block.begin(), block.end()));
            line.wait(30ms);
        }
        QCOMPARE(line.shown, std::vector<std::string>{});
        qDebug() << line.sent.size() << (line.sentTimes.back() - line.sentTimes.front()).count() / 1000000;
        QCOMPARE(line.sent, (std::vector<std::string>{kQuery0, kQuery0}));
        line.receive(varied(7, 1, varying));
        QCOMPARE(line.shown, std::vector<std::string>{"7"});
    }

    // A module that changes its reply length is learned anew, losing only the first
    // value of the new length: a single odd block cannot be told from noise in front
    // of a garbled reply. Its new line end is checked as the old one was.
    void lengthChangeRelearned_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("varying");
        QTest::addColumn<int>("to");
        QTest::addColumn<bool>("appended"); // the new replies are the old ones and a byte more
        QTest::newRow("6 to 8") << 6 << 0 << 8 << false;
        QTest::newRow("8 to 12") << 8 << 0 << 12 << false;
        QTest::newRow("8 to 6") << 8 << 0 << 6 << false;
        QTest::newRow("12 to 7") << 12 << 0 << 7 << false;
        QTest::newRow("8 with a status byte to 6 without") << 8 << 1 << 6 << false;
        QTest::newRow("6, then a byte after the line end") << 6 << 0 << 7 << true;
    }

    void lengthChangeRelearned()
    {
        QFETCH(int, from);
        QFETCH(int, varying);
        QFETCH(int, to);
        QFETCH(bool, appended);
        const auto reply = [&](std::int32_t value, size_t length) {
            return appended ? join(::reply(value, size_t(from)), Bytes{0}) : ::reply(value, length);
        };
        Line line;
        line.learn(size_t(from), varying);
        std::vector<std::string> expected;
        for (int v = 1; v <= 12; ++v) {
            line.receive(reply(v, size_t(to)));
            line.wait(600ms); // long enough for any ending: silence, the time-out
            expected.push_back(std::to_string(v));
        }
        if (line.shown.size() == expected.size() - 1) // prefixes of the new length that fit are taken at once
            expected.erase(expected.begin());
        QCOMPARE(line.shown, expected);
        QCOMPARE(line.cycle.framing().length(), std::optional<size_t>(to));
        line.sent.clear();
        line.receive(reply(99, size_t(to)));
        QCOMPARE(line.sent.size(), size_t(1)); // complete at the new length, no wait
        Bytes garbled = reply(98, size_t(to));
        garbled[size_t(to - 2)] = ';';
        line.receive(garbled);
        line.wait(30ms);
        QCOMPARE(line.shown.back(), std::string("99"));
    }

    // After 100 replies of one shape the module sends another. Nothing it did not send
    // is ever shown, and after a few replies its values flow again. Small values make
    // the top value byte equal to a 00 or FF status byte, so that the window one byte
    // into a grown reply checks.
    void moduleChangesUnderTheReader_data()
    {
        QTest::addColumn<int>("sign");
        QTest::addColumn<QByteArray>("before"); // bytes after the check byte, '?' a changing one
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("grows by a 00 byte") << 1 << QByteArray("\r\n") << QByteArray("\x00\r\n", 3);
        QTest::newRow("grows by an FF byte") << -1 << QByteArray("\r\n") << QByteArray("\xFF\r\n");
        QTest::newRow("a status byte starts changing") << 1 << QByteArray("\x00\r\n", 3) << QByteArray("?\r\n");
        QTest::newRow("shrinks") << 1 << QByteArray("\x00\r\n", 3) << QByteArray("\r\n");
        QTest::newRow("grows by a changing byte") << -1 << QByteArray("\r\n") << QByteArray("?\r\n");
    }

    void moduleChangesUnderTheReader()
    {
        QFETCH(int, sign);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        std::set<std::string> sentValues;
        const auto make = [&](int i) {
            const std::int32_t value = sign * (1000 + 7 * i);
            sentValues.insert(std::to_string(value));
            const auto r = encodeValueReply(value);
            Bytes bytes(r.begin(), r.begin() + 4);
            for (const char c : i < 100 ? before : after)
                bytes.push_back(c == '?' ? status(i) : std::uint8_t(c));
            return bytes;
        };
        Line line;
        line.read();
        line.answerEvery(5ms, 200s, make, 200);
        for (const std::string &v : line.shown)
            QVERIFY2(sentValues.count(v), v.c_str());
        QVERIFY2(line.shown.size() >= 194, qPrintable(QString::number(line.shown.size())));
        QCOMPARE(line.cycle.framing().length(), std::optional<size_t>(size_t(4 + after.size())));
    }

    // Modules on a bus are asked in turn, each set up first.
    void busInTurn()
    {
        Line line;
        line.cycle.setAddresses({3, 7, 12});
        line.read();
        line.serve(300ms, [](int address, bool setUp) { return setUp ? kAck : reply(address); });
        QVERIFY(line.sent.size() >= 7);
        const std::vector<std::string> first(line.sent.begin(), line.sent.begin() + 7);
        // Set-up and first query are one turn: each module's first value comes at once.
        QCOMPARE(first, (std::vector<std::string>{"S03;COF8;", "S03;MSV?;", "S07;COF8;", "S07;MSV?;", "S12;COF8;",
                                                  "S12;MSV?;", "S03;MSV?;"}));
        QCOMPARE(line.shown.front(), std::string("3"));
        for (const int a : {3, 7, 12})
            QVERIFY(line.cycle.counters(a).goodValues + 1 >= line.cycle.counters(3).goodValues);
        // No bus any more: the address box drives the cycle again.
        line.cycle.setAddresses({});
        line.cycle.setAddressText("5");
        line.sent.clear();
        line.read();
        QCOMPARE(line.sent, std::vector<std::string>{"S05;COF8;"});
    }

    void deadModuleDoesNotStarveTheOthers_data()
    {
        QTest::addColumn<int>("revivesAfterS"); // 0: never
        QTest::newRow("dead for good") << 0;
        QTest::newRow("back after 10 s") << 10;
    }

    void deadModuleDoesNotStarveTheOthers()
    {
        QFETCH(int, revivesAfterS);
        const auto valuesOfTheLive = [](bool withDead, int revives, Line &line) {
            line.cycle.setAddresses(withDead ? std::vector<int>{1, 9, 2} : std::vector<int>{1, 2});
            line.read();
            const TimePoint start = line.now;
            line.serve(20s, [&](int address, bool setUp) -> std::optional<Bytes> {
                if (address == 9 && (revives == 0 || line.now - start < std::chrono::seconds(revives)))
                    return std::nullopt;
                return setUp ? kAck : reply(address);
            });
            return line.cycle.counters(1).goodValues + line.cycle.counters(2).goodValues;
        };
        Line alone;
        Line bus;
        const auto without = valuesOfTheLive(false, 0, alone);
        const auto with = valuesOfTheLive(true, revivesAfterS, bus);
        if (revivesAfterS == 0) // once back, it shares the line as a live module does
            QVERIFY2(double(with) >= 0.8 * double(without),
                     qPrintable(QStringLiteral("%1 of %2").arg(with).arg(without)));
        QCOMPARE(bus.backedOff, 1);
        QCOMPARE(bus.answersAgain, revivesAfterS > 0 ? 1 : 0);
        QCOMPARE(bus.cycle.counters(9).goodValues > 0, revivesAfterS > 0);
        QCOMPARE(bus.cycle.status(9).stale, revivesAfterS > 0 ? StaleReason::none : StaleReason::noAnswer);
    }

    // A bus that loses a reply now and then. One of each in turn, 7's and then 3's:
    // 7 waits out its own time-out and 3's, longer than its value stays live alone, yet
    // it failed once, not twice. Two of 7's in a row grey it, but a module that has
    // answered is not held to the silent ones' share for that.
    void busLosingOneNowAndThen_data()
    {
        QTest::addColumn<bool>("twoInARow");
        QTest::newRow("one of each in turn") << false;
        QTest::newRow("two of one in a row") << true;
    }

    void busLosingOneNowAndThen()
    {
        QFETCH(bool, twoInARow);
        Line bus;
        bus.cycle.setAddresses({3, 7});
        bus.read();
        std::map<int, int> asked;
        bool dropNext = false;
        int greyed = 0;
        bus.serve(20s, [&](int address, bool setUp) -> std::optional<Bytes> {
            for (const int a : {3, 7})
                greyed += bus.cycle.status(a).stale != StaleReason::none;
            if (setUp)
                return kAck;
            const bool next = address == (twoInARow ? 7 : 3) && std::exchange(dropNext, false);
            const bool drop = (address == 7 && ++asked[7] % 10 == 5) || next;
            dropNext = dropNext || (drop && !next);
            return drop ? std::nullopt : std::optional<Bytes>(reply(address));
        });
        QVERIFY(bus.cycle.counters(7).timeouts >= 5);
        QCOMPARE(greyed > 0, twoInARow);
        QCOMPARE(bus.backedOff, 0);
        QVERIFY(bus.cycle.counters(7).goodValues * 10 >= bus.cycle.counters(3).goodValues * 7); // its turn kept
    }

    // Another module's last reply again, in this module's turn: its repeat, or this
    // module's answer when the two read the same. A repeat that came too soon to be
    // the answer, or with the answer behind it, is no value; a copy followed by
    // silence is asked for again: what answers then is the module's own. A reply that
    // had a stray byte in front lets the line fall quiet before the next command.
    void anothersCopyInTheTurn_data()
    {
        QTest::addColumn<bool>("same");     // both read 0
        QTest::addColumn<int>("copyAfterMs"); // 3's reply again this long after it; -1: none
        QTest::addColumn<bool>("onlyStray");  // 3 repeats only its replies with a stray byte in front, else every other
        QTest::addColumn<bool>("sevenSilent"); // 7 does not answer the query that 3's copy comes after
        QTest::addColumn<int>("sevenAfterMs"); // 7's answers come this long after its query
        QTest::newRow("two modules that read the same") << true << -1 << false << false << 12;
        QTest::newRow("the same, 3 repeating itself") << true << 3 << false << false << 12;
        QTest::newRow("a repeat right behind, too soon to be 7's") << false << 3 << false << false << 12;
        QTest::newRow("a repeat held back, with 7's answer") << false << 12 << false << false << 12;
        QTest::newRow("a repeat held back, 7 silent then") << false << 12 << false << true << 12;
        QTest::newRow("a repeat held back, 7 answering later") << false << 16 << false << false << 40;
        QTest::newRow("a repeat of a reply with a stray byte in front") << false << 3 << true << false << 12;
    }

    void anothersCopyInTheTurn()
    {
        QFETCH(bool, same);
        QFETCH(int, copyAfterMs);
        QFETCH(bool, onlyStray);
        QFETCH(bool, sevenSilent);
        QFETCH(int, sevenAfterMs);
        Line bus;
        bus.delayOf[7] = milliseconds(sevenAfterMs);
        bus.cycle.setAddresses({3, 7});
        bus.read();
        std::map<int, int> n;
        bool copied = false; // 3's last reply comes again
        bus.serve(3s, [&](int address, bool setUp) -> std::optional<Bytes> {
            if (setUp)
                return kAck;
            if (address == 7 && std::exchange(copied, false) && sevenSilent)
                return std::nullopt;
            const int i = n[address]++;
            const bool stray = onlyStray && address == 3 && i > kToLearn && i % 3 == 0;
            const Bytes r = join(stray ? Bytes{0x55} : Bytes{}, reply(same ? 0 : address * 1000 + i));
            copied = copyAfterMs >= 0 && address == 3 && i > kToLearn && (onlyStray ? stray : i % 2 == 0);
            if (copied)
                bus.alsoAfter = {milliseconds(copyAfterMs), r};
            return r;
        }, 12ms);
        // A copy held costs its turn a byte gap and a second query, never a time-out.
        for (const int a : {3, 7}) {
            QCOMPARE(bus.cycle.counters(a).timeouts, 0u);
            QVERIFY2(bus.cycle.counters(a).goodValues * std::uint64_t(sevenAfterMs) >= 360, qPrintable(QString::number(bus.cycle.counters(a).goodValues)));
        }
        for (size_t k = 0; k < bus.shown.size(); ++k) // each under its own address, once
            QVERIFY2(std::stoi(bus.shown[k]) / 1000 == (same ? 0 : bus.shownAt[k].first), bus.shown[k].c_str());
        if (!same)
            QCOMPARE(std::set<std::string>(bus.shown.begin(), bus.shown.end()).size(), bus.shown.size());
    }

    // n silent modules of m on a bus: the live ones have their first value at once,
    // keep at least 0.9 of their pace alone, the silent ones are each asked about as
    // often as the roster says, and one that starts answering is read at full pace
    // from its next turn on and said back once.
    void silentOnesShareOneBudget_data()
    {
        QTest::addColumn<QList<int>>("bus");
        QTest::addColumn<int>("firstWithinMs"); // of every live module
        QTest::newRow("1 silent of 3, first") << QList<int>{9, 3, 7} << 300;
        QTest::newRow("1 silent of 3, last") << QList<int>{3, 7, 9} << 300;
        QTest::newRow("4 silent of 6") << QList<int>{3, 7, 9, 10, 11, 12} << 300;
        QTest::newRow("4 silent of 6, in front") << QList<int>{12, 11, 10, 9, 3, 7} << 400;
        QList<int> all;
        for (int a = 0; a < 32; ++a)
            all << a;
        QTest::newRow("30 silent of 32") << all << 700;
    }

    void silentOnesShareOneBudget()
    {
        QFETCH(QList<int>, bus);
        QFETCH(int, firstWithinMs);
        const auto live = [](int a) { return a == 3 || a == 7; };
        const auto run = [&](const std::vector<int> &addresses, int backAt, Line &line) {
            line.cycle.setAddresses(addresses);
            line.read();
            const TimePoint start = line.now;
            line.serve(200s, [&](int address, bool setUp) -> std::optional<Bytes> {
                if (!live(address) && (address != backAt || line.now - start < 160s))
                    return std::nullopt;
                return setUp ? kAck : reply(address);
            });
            return start;
        };
        Line alone;
        const TimePoint aloneStart = run({3, 7}, -1, alone);
        Line line;
        const int back = bus.back() == 7 ? bus[bus.size() - 3] : bus.back(); // a silent one
        const TimePoint start = run(std::vector<int>(bus.begin(), bus.end()), back, line);
        for (const int a : {3, 7})
            QVERIFY2(line.firstShown.count(a) && line.firstShown[a] - start <= milliseconds(firstWithinMs),
                     qPrintable(QString::number(a)));
        // The live ones' share after the start, over the time the silent ones were silent;
        // their probe period once each had its first probe, which watches longer.
        const auto liveValues = [](const Line &l, TimePoint from) {
            return double(std::count_if(l.shownAt.begin(), l.shownAt.end(), [&](const auto &s) {
                return (s.first == 3 || s.first == 7) && s.second >= from + 5s && s.second < from + 160s;
            }));
        };
        QVERIFY2(liveValues(line, start) >= 0.9 * liveValues(alone, aloneStart),
                 qPrintable(QStringLiteral("%1 of %2").arg(liveValues(line, start)).arg(liveValues(alone, aloneStart))));
        // Each silent one asked about as often as said: every n x (a turn) x the share.
        const int silent = int(bus.size()) - 2;
        int probes = 0;
        for (size_t i = 0; i < line.sent.size(); ++i) {
            const int a = std::stoi(line.sent[i].substr(1, 2));
            probes += !live(a) && line.sentTimes[i] - start > 110s && line.sentTimes[i] - start < 160s;
        }
        const auto every = milliseconds(50000) * silent / std::max(probes, 1);
        QVERIFY2(every > silent * 12 * 50ms && every < silent * 12 * 100ms,
                 qPrintable(QString::number(std::chrono::duration_cast<milliseconds>(every).count())));
        QCOMPARE(line.backedOff, silent);
        QCOMPARE(line.answersAgain, 1);
        // Back: read as often as a live one from its first value on.
        int ofBack = 0, ofLive = 0;
        for (const auto &[address, at] : line.shownAt)
            if (at >= line.firstShown[back]) {
                ofBack += address == back;
                ofLive += address == 3;
            }
        QVERIFY2(ofBack > 10 && ofBack >= 0.9 * ofLive, qPrintable(QStringLiteral("%1 against %2").arg(ofBack).arg(ofLive)));
        QCOMPARE(line.pastDeadlines, 0);
    }

    // Silence is counted in a row: a module that loses every other reply keeps its
    // turn; and a module alone is never set aside, it is asked a time-out apart.
    void silentCountedInARow_data()
    {
        QTest::addColumn<QList<int>>("bus");
        QTest::addColumn<int>("answerEvery"); // of module 2's queries; 0: none
        QTest::addColumn<int>("aside");
        QTest::newRow("every other reply lost") << QList<int>{1, 2} << 2 << 0;
        QTest::newRow("every reply lost") << QList<int>{1, 2} << 0 << 1;
        QTest::newRow("a module alone, silent") << QList<int>{} << 0 << 0;
    }

    void silentCountedInARow()
    {
        QFETCH(QList<int>, bus);
        QFETCH(int, answerEvery);
        QFETCH(int, aside);
        Line line;
        line.cycle.setAddresses(std::vector<int>(bus.begin(), bus.end()));
        line.cycle.setAddressText("2");
        line.read();
        int queries = 0;
        line.serve(10s, [&](int address, bool setUp) -> std::optional<Bytes> {
            if (setUp)
                return kAck;
            if (address == 2 && (answerEvery == 0 || ++queries % answerEvery != 0))
                return std::nullopt;
            return reply(address);
        });
        QCOMPARE(line.backedOff, aside);
        QCOMPARE(line.cycle.roster().asideCount(), aside);
        if (bus.isEmpty()) // a time-out and its watch, then the next
            QVERIFY2(line.cycle.counters(2).commandsSent >= 9, qPrintable(QString::number(line.cycle.counters(2).commandsSent)));
    }

    // A module of a bus slower than a probe, at its first set-up and ever after: its
    // late answer is heard as such and it is read, whatever the time-out, never lost
    // among the silent ones while its answers go to the next module's command.
    void slowModuleOnABus_data()
    {
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<int>("timeoutMs"); // 0: none chosen
        QTest::newRow("30 ms") << 30 << 0;
        QTest::newRow("80 ms") << 80 << 0;
        QTest::newRow("190 ms") << 190 << 0;
        QTest::newRow("400 ms, slower than the first watch") << 400 << 0;
        QTest::newRow("80 ms, --timeout 500") << 80 << 500;
    }

    void slowModuleOnABus()
    {
        QFETCH(int, delayMs);
        QFETCH(int, timeoutMs);
        CycleSettings settings;
        if (timeoutMs > 0)
            settings = CycleSettings{.replyTimeout = milliseconds(timeoutMs), .adaptTimeout = false};
        Line line(settings);
        line.delayOf[3] = milliseconds(delayMs);
        line.cycle.setAddresses({3, 7, 9});
        line.read();
        line.serve(20s, [](int address, bool setUp) -> std::optional<Bytes> {
            if (address == 9)
                return std::nullopt;
            return setUp ? kAck : reply(address);
        });
        const auto values = line.cycle.counters(3).goodValues;
        QVERIFY2(values >= 20000u / std::uint64_t(delayMs + 40) / 3, qPrintable(QString::number(values)));
        QCOMPARE(line.cycle.status(3).stale, StaleReason::none);
        QVERIFY(!line.cycle.status(3).repliesLate); // late only for a probe: its time-out covers it
        QVERIFY(line.cycle.counters(7).goodValues + 1 >= values);
        QCOMPARE(line.pastDeadlines, 0);
    }

    // What is learned of a module is its own: another address, read in between, is
    // learned afresh, and the first is read on as it was.
    void learnedPerAddress()
    {
        Line line;
        line.learn(8);
        line.cycle.setAddressText("2");
        line.receive(reply(1, 8));
        line.wait(5ms);
        line.receive(kAck);
        line.wait(25ms);
        QCOMPARE(line.sent.back(), std::string("S02;MSV?;"));
        const TimePoint asked = line.now;
        line.receive(reply(20, 6)); // shorter than address 0's: ended by silence, not the time-out
        line.wait(25ms);
        QCOMPARE(line.shown.back(), std::string("20"));
        QVERIFY(line.now - asked < 100ms && line.sent.back() == "S02;MSV?;");
        QCOMPARE(line.cycle.framing().length(), std::nullopt);
        line.cycle.setAddressText("0");
        line.receive(reply(21, 6));
        line.wait(25ms);
        line.receive(kAck);
        line.wait(25ms);
        line.sent.clear();
        line.receive(reply(3, 8)); // complete at once: address 0's length is still known
        QCOMPARE(line.shown.back(), std::string("3"));
        QCOMPARE(line.sent.size(), size_t(1));
        QCOMPARE(line.cycle.framings().size(), size_t(2));
    }

    // A block that is not of the learned length but checks and ends in the line end
    // is not believed alone: noise in front of a garbled reply, or the tail of a
    // late one, looks just like that one time in 256.
    void oddBlockEndingInTheLineEndNotBelieved_data()
    {
        QTest::addColumn<QByteArray>("block");
        const auto garbled = [](std::uint8_t a, std::uint8_t b) {
            Bytes r = reply(0x123456, 8);
            r[0] = a;
            r[1] = b;
            r[2] = std::uint8_t(0xFF ^ a ^ b); // so that FF a b checks...
            r[3] ^= 0x10;                     // ...and the reply itself does not
            r.insert(r.begin(), 0xFF);
            return QByteArray(reinterpret_cast<const char *>(r.data()), qsizetype(r.size()));
        };
        QTest::newRow("a leading FF before a garbled reply") << garbled(0x26, 0x24);
        QTest::newRow("the same, other bytes") << garbled(0x00, 0x7F);
        QTest::newRow("a short tail that checks") << QByteArray("\x12\x34\x26\x00\r\n", 6);
    }

    void oddBlockEndingInTheLineEndNotBelieved()
    {
        QFETCH(QByteArray, block);
        Line line;
        line.learn(8);
        line.receive(Bytes(block.begin(), block.end()));
        line.wait(600ms);
        QVERIFY2(line.shown.empty(), line.shown.empty() ? "" : line.shown.front().c_str());
        line.receive(reply(7, 8));
        line.wait(30ms);
        QCOMPARE(line.shown, std::vector<std::string>{"7"});
    }

    // The bytes after the check byte that never change are a second check.
    void trailingBytesChecked_data()
    {
        QTest::addColumn<QByteArray>("trailer");
        QTest::addColumn<bool>("shown");
        QTest::newRow("the learned CR LF") << QByteArray("\r\n") << true;
        QTest::newRow("CR CR") << QByteArray("\r\r") << false;
        QTest::newRow("LF CR") << QByteArray("\n\r") << false;
        QTest::newRow("00 00") << QByteArray(2, '\0') << false;
    }

    void trailingBytesChecked()
    {
        QFETCH(QByteArray, trailer);
        QFETCH(bool, shown);
        Line line;
        line.learn(6);
        Bytes bytes = reply(321);
        std::copy(trailer.begin(), trailer.end(), bytes.begin() + 4);
        line.receive(bytes);
        line.wait(30ms);
        QCOMPARE(line.shown.size(), size_t(shown ? 1 : 0));
        QCOMPARE(line.cycle.counters().badTrailers, shown ? 0u : 1u);
        QCOMPARE(line.sent.size(), size_t(1));
    }

    // A status byte that changes with every reply is not required, not even after
    // it has held still for a while.
    void statusByteNeverRequired()
    {
        Line line;
        line.learn(8, 1);
        std::vector<std::string> expected;
        for (int i = 0; i < 30; ++i) {
            const Bytes r = reply(i, 8, std::uint8_t(i < 20 ? i * 13 : i < 29 ? 5 : 6));
            // The last, its status byte moving again, behind a stray byte: found there
            // only if the byte that held still for a while is still not required.
            line.receive(i < 29 ? r : join(Bytes{0xFF}, r));
            expected.push_back(std::to_string(i));
        }
        QCOMPARE(line.shown, expected);
        QCOMPARE(line.cycle.counters().skippedBytes, 1u);
        QCOMPARE(line.cycle.framing().requiredTrailerBytes(), size_t(3));
    }

    // A garbled line end costs its value alone; a module that changes its line end
    // for good is learned anew after one lost value, and so is the way back.
    void lineEndChanges_data()
    {
        QTest::addColumn<QString>("replies"); // per reply: c the learned CR LF, s a semicolon for the CR
        QTest::addColumn<QString>("shown");   // per reply: + shown, - lost
        QTest::newRow("now and then garbled") << "cscccsccc" << "+-+++-+++";
        QTest::newRow("changed for good") << "ssssss" << "-+++++";
        QTest::newRow("changed and back") << "sssssscccc" << "-+++++-+++";
    }

    void lineEndChanges()
    {
        QFETCH(QString, replies);
        QFETCH(QString, shown);
        Line line;
        line.learn(6);
        QString seen;
        for (int i = 0; i < replies.size(); ++i) {
            Bytes bytes = reply(i);
            if (replies[i] == 's')
                bytes[4] = ';';
            line.shown.clear();
            line.receive(bytes);
            line.wait(30ms);
            seen += line.shown == std::vector<std::string>{std::to_string(i)} ? '+' : '-';
        }
        QCOMPARE(seen, shown);
    }

    // Random bytes pass an 8-bit check one time in 256; with the trailing bytes
    // required as well, a flood shows nothing, makes no busy loop, and reading
    // resumes after it.
    void floodShowsNothingAndIsRecoveredFrom()
    {
        Line line;
        line.learn(6);
        std::uint32_t noise = 12345;
        for (int ms = 0; ms < 5000; ++ms) {
            Bytes chunk(20);
            for (auto &b : chunk) {
                noise = noise * 1664525u + 1013904223u;
                b = std::uint8_t(noise >> 24);
            }
            line.receive(chunk);
            line.wait(1ms);
        }
        QVERIFY(line.shown.empty());
        // About one command per time-out: no busy loop, and no stall either.
        QVERIFY2(line.sent.size() >= 8 && line.sent.size() <= 12, QByteArray::number(qulonglong(line.sent.size())));
        line.wait(600ms);
        if (line.sent.back() == kSetup0) { // three failures in a row: set up again
            line.receive(kAck);
            line.wait(25ms);
        }
        line.sent.clear();
        line.receive(reply(123));
        QCOMPARE(line.shown, std::vector<std::string>{"123"});
        QCOMPARE(line.sent.size(), size_t(1));
    }

    // A module that answers every command this long after it: a reply complete
    // just before the time-out counts, once it has fallen silent, and so is learned;
    // a module slower than the time-out makes it grow when the user did not choose
    // it, and is reported as late when the user did.
    void slowModule_data()
    {
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<bool>("adapt");
        QTest::addColumn<int>("fewestValues"); // in 20 s
        QTest::addColumn<int>("mostTimeouts");
        QTest::addColumn<bool>("late");
        QTest::newRow("95 ms, --timeout 100") << 95 << 100 << false << 150 << 0 << false;
        QTest::newRow("85 ms, --timeout 100: learned, then at once") << 85 << 100 << false << 220 << 0 << false;
        QTest::newRow("700 ms, the time-out grows") << 700 << 500 << true << 25 << 1 << false;
        QTest::newRow("2 s, the time-out grows") << 2000 << 500 << true << 8 << 2 << false;
        QTest::newRow("700 ms, --timeout 500 kept") << 700 << 500 << false << 0 << 100 << true;
    }

    void slowModule()
    {
        QFETCH(int, delayMs);
        QFETCH(int, timeoutMs);
        QFETCH(bool, adapt);
        QFETCH(int, fewestValues);
        QFETCH(int, mostTimeouts);
        QFETCH(bool, late);
        Line line(CycleSettings{.replyTimeout = std::chrono::milliseconds(timeoutMs), .adaptTimeout = adapt});
        line.read();
        line.answerEvery(std::chrono::milliseconds(delayMs), 20s);
        const CycleCounters &c = line.cycle.counters();
        QVERIFY2(c.goodValues >= std::uint64_t(fewestValues), qPrintable(QString::number(c.goodValues)));
        QVERIFY2(c.timeouts <= std::uint64_t(mostTimeouts), qPrintable(QString::number(c.timeouts)));
        QCOMPARE(line.cycle.status().repliesLate, late);
        QCOMPARE(line.grown.size(), size_t(adapt ? 1 : 0)); // said once
        if (fewestValues > 0)
            QCOMPARE(line.cycle.framing().length(), std::optional<size_t>(6));
    }

    // Replies that come just after the time-out are not taken for the next query's;
    // however they are split, the status says the time-out is too short (not that
    // the module does not answer).
    void repliesAfterTheTimeoutReported_data()
    {
        QTest::addColumn<int>("replies");
        QTest::addColumn<int>("pieces");
        QTest::addColumn<bool>("reported");
        // One is asked again, and the value is not grey yet: nothing to say. Two are:
        // the module did answer, so "no answer" would be wrong.
        QTest::newRow("one") << 1 << 1 << false;
        QTest::newRow("one in two pieces") << 1 << 2 << false;
        QTest::newRow("two") << 2 << 1 << true;
        QTest::newRow("two in two pieces each") << 2 << 2 << true;
    }

    void repliesAfterTheTimeoutReported()
    {
        QFETCH(int, replies);
        QFETCH(int, pieces);
        QFETCH(bool, reported);
        Line line(CycleSettings{.replyTimeout = 100ms, .adaptTimeout = false}); // the user's time-out
        line.startReading();
        for (int i = 0; i < replies; ++i) {
            line.wait(105ms);
            const Bytes r = reply(i);
            if (pieces == 1) {
                line.receive(r);
            } else {
                line.receive(Bytes(r.begin(), r.begin() + 3));
                line.receive(Bytes(r.begin() + 3, r.end()));
            }
            line.wait(30ms);
        }
        QVERIFY(line.shown.empty());
        QCOMPARE(line.cycle.counters().lateReplies, std::uint64_t(replies));
        QCOMPARE(line.cycle.status().repliesLate, reported);
        line.wait(50ms);
        line.receive(reply(9));
        line.wait(25ms);
        QCOMPARE(line.shown, std::vector<std::string>{"9"});
        QVERIFY(!line.cycle.status().repliesLate);
    }

    void lostReplyAskedForAgainAfterTheTimeout()
    {
        Line line;
        line.learn();
        line.receive(reply(1));
        line.sent.clear();
        line.wait(499ms);
        QVERIFY(line.sent.empty());
        QCOMPARE(line.cycle.status().stale, StaleReason::none);
        line.wait(21ms); // the time-out, then a byte gap in which a late reply would show
        QCOMPARE(line.sent, std::vector<std::string>{kQuery0});
        // One lost answer is asked again: not yet a module that does not answer.
        QCOMPARE(line.cycle.status().stale, StaleReason::none);
        QCOMPARE(line.cycle.counters().timeouts, 1u);
        line.waitForCommand();
        QCOMPARE(line.sent, (std::vector<std::string>{kQuery0, kQuery0}));
        QCOMPARE(line.cycle.status().stale, StaleReason::noAnswer);
        QCOMPARE(line.cycle.counters().timeouts, 2u);

        line.wait(10ms);
        line.receive(reply(2));
        QCOMPARE(line.shown, (std::vector<std::string>{"1", "2"}));
        QCOMPARE(line.cycle.status().stale, StaleReason::none);
    }

    void badCheckDiscardedAndQueriedAfterSilence()
    {
        Line line;
        line.learn();
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
        QCOMPARE(line.cycle.status().stale, StaleReason::none); // not yet two time-outs

        for (int i = 0; i < 50; ++i) {
            line.receive(bad);
            line.wait(21ms);
        }
        QCOMPARE(line.cycle.status().stale, StaleReason::badCheck);
        QVERIFY(!line.cycle.status().echoSuspected);
    }

    // After three failed replies in a row the module is set up again; a good reply
    // in between starts the count over.
    void threeFailuresSetUpAgain_data()
    {
        QTest::addColumn<QString>("replies"); // per reply: l lost, b bad check, g good
        QTest::addColumn<QStringList>("sent");
        const QString q = QString::fromStdString(kQuery0), p = QString::fromStdString(kSetup0);
        QTest::newRow("three lost") << "lll" << QStringList{q, q, p, q};
        QTest::newRow("three bad") << "bbb" << QStringList{q, q, p, q};
        QTest::newRow("lost, bad, bad") << "lbb" << QStringList{q, q, p, q};
        QTest::newRow("bad, bad, lost") << "bbl" << QStringList{q, q, p, q};
        QTest::newRow("not in a row") << "lbgbl" << QStringList{q, q, q, q, q};
        QTest::newRow("three, set up, one more") << "lllb" << QStringList{q, q, p, q, q};
    }

    void threeFailuresSetUpAgain()
    {
        QFETCH(QString, replies);
        QFETCH(QStringList, sent);
        Line line;
        line.learn();
        Bytes bad = reply(9);
        bad[0] ^= 0x80;
        for (QChar r : replies) {
            if (r == 'l') {
                line.waitForCommand();
            } else {
                line.receive(r == 'g' ? reply(9) : bad);
                line.wait(20ms);
            }
            if (!line.sent.empty() && line.sent.back() == kSetup0) { // the module takes the set-up
                line.receive(kAck);
                line.wait(20ms);
            }
        }
        QCOMPARE(strings(line.sent), sent);
    }

    void lostAcknowledgementRepeatsTheParameterCommand()
    {
        Line line;
        line.read();
        line.waitForCommand();
        line.waitForCommand();
        QCOMPARE(line.sent, (std::vector<std::string>{kSetup0, kSetup0, kSetup0}));
        QCOMPARE(line.cycle.status().stale, StaleReason::noAnswer);
    }

    // Read in the middle of a reply: nothing of the block already in is kept, and
    // the next reply is complete at its length as before.
    void readWhileReadingStartsOver_data()
    {
        QTest::addColumn<QByteArray>("inFlight");
        Bytes garbled = reply(3);
        garbled[3] ^= 0x01;
        QTest::newRow("part of a reply") << bytes(reply(3)).left(3);
        QTest::newRow("a garbled reply, waiting for more") << bytes(garbled);
    }

    void readWhileReadingStartsOver()
    {
        QFETCH(QByteArray, inFlight);
        Line line;
        line.learn();
        line.receive(Bytes(inFlight.begin(), inFlight.end()));
        line.read();
        QCOMPARE(line.sent, std::vector<std::string>{kSetup0});
        line.receive(kAck);
        line.wait(25ms);
        QCOMPARE(line.sent, (std::vector<std::string>{kSetup0, kQuery0}));
        line.receive(reply(4));
        QCOMPARE(line.shown, std::vector<std::string>{"4"});
        QCOMPARE(line.sent.size(), size_t(3));
    }

    // Read starts afresh whatever the status said before: the value is live for one
    // time-out, then grey for want of an answer.
    void readStartsAfresh_data()
    {
        QTest::addColumn<QString>("before");
        QTest::newRow("an hour stopped") << "stopped";
        QTest::newRow("grey, no answer") << "grey";
        QTest::newRow("replies late") << "late";
    }

    void readStartsAfresh()
    {
        QFETCH(QString, before);
        Line line(CycleSettings{.adaptTimeout = false});
        line.learn();
        if (before == "stopped") {
            line.stop();
            line.wait(1h);
        } else if (before == "grey") {
            line.wait(2s);
            QCOMPARE(line.cycle.status().stale, StaleReason::noAnswer);
        } else {
            for (int i = 0; i < 2; ++i) {
                line.wait(line.sentAt + 505ms - line.now);
                line.receive(reply(i));
                line.wait(30ms);
            }
            QVERIFY(line.cycle.status().repliesLate);
        }
        line.read();
        const CycleStatus reading{CyclePhase::reading, StaleReason::none, false, false};
        QCOMPARE(line.cycle.status(), reading);
        line.wait(2ms);
        line.receive(kAck);
        line.wait(997ms);
        QCOMPARE(line.cycle.status(), reading);
        line.wait(2ms);
        QCOMPARE(line.cycle.status().stale, StaleReason::noAnswer);
    }

    // The value turns grey two time-outs after the last good value, even when no
    // time-out of a command falls due then.
    void greyTwoTimeoutsAfterTheLastValue_data()
    {
        QTest::addColumn<bool>("slowAcknowledgement");
        QTest::newRow("acknowledged after 300 ms") << true;
        QTest::newRow("a stray byte behind the last value") << false;
    }

    void greyTwoTimeoutsAfterTheLastValue()
    {
        QFETCH(bool, slowAcknowledgement);
        Line line;
        if (slowAcknowledgement) {
            line.read();
            line.wait(300ms);
            line.receive(kAck);
            line.wait(699ms);
        } else {
            line.learn();
            line.receive(join(reply(1), text("\x7f")));
            line.wait(999ms);
        }
        QCOMPARE(line.cycle.status().stale, StaleReason::none);
        line.wait(2ms);
        QCOMPARE(line.cycle.status().stale, StaleReason::noAnswer);
    }

    // Stop ends what the status line says about the module: it says stopped.
    void stopWhileGrey()
    {
        Line line;
        line.learn();
        line.wait(2s);
        QCOMPARE(line.cycle.status().stale, StaleReason::noAnswer);
        line.stop();
        const CycleStatus stopped{CyclePhase::stopped, StaleReason::none, false, false};
        QCOMPARE(line.cycle.status(), stopped);
    }

    void resumeKeepsTheCounts()
    {
        Line line;
        line.learn();
        const auto before = line.cycle.counters().goodValues;
        line.apply(line.cycle.resume(line.now));
        QCOMPARE(line.sent, std::vector<std::string>{kSetup0});
        QCOMPARE(line.cycle.counters().goodValues, before);
        line.read();
        QCOMPARE(line.cycle.counters().goodValues, 0u);
    }

    void stopLetsTheReplyInFlightShow()
    {
        Line line;
        line.learn();
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

    // Some modules answer the parameter command with a value: shown only when it has
    // the very shape of their replies. A garbled answer means set-up again.
    void answersToTheParameterCommand_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("sent");
        const QString q = QString::fromStdString(kQuery0), p = QString::fromStdString(kSetup0);
        Bytes otherEnd = reply(55);
        otherEnd[5] = ';';
        Bytes garbled = reply(55);
        garbled[1] ^= 0x10;
        QTest::newRow("acknowledgement") << bytes(kAck) << QStringList{} << QStringList{p, q};
        QTest::newRow("a value shaped like the replies") << bytes(reply(55)) << QStringList{"55"} << QStringList{p, q};
        QTest::newRow("a value with another line end") << bytes(otherEnd) << QStringList{} << QStringList{p, q};
        QTest::newRow("a garbled value") << bytes(garbled) << QStringList{} << QStringList{p, p};
    }

    void answersToTheParameterCommand()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, sent);
        Line line;
        line.learn();
        line.read();
        line.receive(Bytes(answer.begin(), answer.end()));
        line.wait(25ms);
        QCOMPARE(strings(line.shown), shown);
        QCOMPARE(strings(line.sent), sent);
    }

    // What the status line says for each way replies keep failing.
    void failureReported_data()
    {
        QTest::addColumn<QChar>("fault");
        QTest::addColumn<StaleReason>("reason");
        QTest::newRow("lost") << QChar('l') << StaleReason::noAnswer;
        QTest::newRow("stopping partway: garbled, not silent") << QChar('p') << StaleReason::cutShort;
        QTest::newRow("bad check byte") << QChar('b') << StaleReason::badCheck;
        QTest::newRow("garbled line end") << QChar('e') << StaleReason::badTrailer;
    }

    void failureReported()
    {
        QFETCH(QChar, fault);
        QFETCH(StaleReason, reason);
        Line line;
        line.learn(8);
        for (int i = 0; i < 40; ++i) {
            if (!line.sent.empty() && line.sent.back() == kSetup0) {
                line.receive(kAck);
                line.wait(25ms);
            }
            Bytes r = reply(i, 8);
            if (fault == 'p')
                r.resize(size_t(6 + i % 2)); // never the same length, or it would be learned
            else if (fault == 'b')
                r[3] ^= 0x40;
            else if (fault == 'e')
                r[6] = std::uint8_t(';' + i); // never the same, or it would be a new line end
            if (fault != 'l')
                line.receive(r);
            if (fault == 'l' || fault == 'p')
                line.waitForCommand();
            else
                line.wait(30ms);
        }
        QVERIFY(line.shown.empty());
        QCOMPARE(line.cycle.status().stale, reason);
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
        line.learn();
        line.cycle.setAddressText(edit.toStdString());
        line.receive(reply(1));
        line.wait(5ms);
        line.receive(next.first().contains("COF8") ? kAck : reply(2));
        line.wait(25ms);
        QCOMPARE(strings(line.sent), next);
    }

    // The poll interval paces the value queries on the line (on a bus the turn), and
    // leaves the time-out, the quiet wait after a failure, the back-off of a silent
    // module and staleness as they are.
    void pollInterval_data()
    {
        QTest::addColumn<int>("intervalMs");
        QTest::addColumn<QList<int>>("bus");
        QTest::addColumn<int>("silent"); // the address that never answers; -1: none
        QTest::addColumn<int>("leastValues"); // of the live modules together, in 10 s

        QTest::newRow("0: as fast as the module answers") << 0 << QList<int>{} << -1 << 1000;
        QTest::newRow("1 s, longer than the time-out, one module") << 1000 << QList<int>{} << -1 << 9;
        QTest::newRow("250 ms, a bus of three: the turn is paced") << 250 << QList<int>{1, 2, 3} << -1 << 36;
        QTest::newRow("100 ms, shorter than the time-out, module silent") << 100 << QList<int>{} << 0 << 0;
        QTest::newRow("2 s, longer than the time-out, module silent") << 2000 << QList<int>{} << 0 << 0;
        QTest::newRow("250 ms, a bus with a silent module") << 250 << QList<int>{1, 9, 2} << 9 << 24;
    }

    void pollInterval()
    {
        QFETCH(int, intervalMs);
        QFETCH(QList<int>, bus);
        QFETCH(int, silent);
        QFETCH(int, leastValues);
        CycleSettings settings;
        settings.pollInterval = milliseconds(intervalMs);
        Line line(settings);
        line.cycle.setAddresses(std::vector<int>(bus.begin(), bus.end()));
        line.read();
        bool liveWentStale = false; // seen as each command leaves
        line.serve(10s, [&](int address, bool setUp) -> std::optional<Bytes> {
            if (address == silent)
                return std::nullopt;
            liveWentStale = liveWentStale || line.cycle.status(address).stale != StaleReason::none;
            return setUp ? kAck : reply(address);
        });
        QVERIFY(!liveWentStale); // a live module is not stale while it waits its paced turn
        // Every command, but the query right after a module's set-up, waits its turn.
        std::vector<TimePoint> queries;
        for (size_t i = 0; i < line.sent.size(); ++i)
            if (i == 0 || line.sent[i].find("MSV?") == std::string::npos || line.sent[i - 1].find("COF8") == std::string::npos
                || line.sent[i].substr(0, 3) != line.sent[i - 1].substr(0, 3))
                queries.push_back(line.sentTimes[i]);
        QVERIFY(queries.size() > 2);
        // The query right after a module's acknowledged set-up goes at once, on a bus too.
        for (size_t i = 0; i + 1 < line.sent.size(); ++i) {
            const std::string &command = line.sent[i];
            if (command.find("COF8") == std::string::npos || std::stoi(command.substr(1)) == silent)
                continue;
            QCOMPARE(line.sent[i + 1], command.substr(0, command.find(';') + 1) + "MSV?;");
            QVERIFY(line.sentTimes[i + 1] - line.sentTimes[i] < 60ms);
        }
        for (size_t i = 1; i < queries.size(); ++i) {
            const auto gap = queries[i] - queries[i - 1];
            QVERIFY2(gap >= milliseconds(intervalMs), qPrintable(QString::number(i)));
            // Paced, not slowed down more than that (before the length is learned, silence ends a reply).
            QVERIFY(silent >= 0 || gap < milliseconds(intervalMs) + 60ms);
        }
        quint64 values = 0;
        for (const int a : line.cycle.addresses()) {
            values += line.cycle.counters(a).goodValues;
            QCOMPARE(line.cycle.status(a).stale, a == silent ? StaleReason::noAnswer : StaleReason::none);
        }
        QVERIFY2(values >= quint64(leastValues), qPrintable(QString::number(values)));
        if (silent >= 0) {
            const CycleCounters &c = line.cycle.counters(silent);
            QVERIFY(c.timeouts > 0); // the time-out still ends each wait
            if (bus.isEmpty()) // every command but the first waited out time-out and quiet, paced or not
                QVERIFY(line.sentTimes[1] - line.sentTimes[0] >= settings.replyTimeout + settings.byteGap);
            else
                QCOMPARE(line.backedOff, 1);
        }
    }

    // A long interval never keeps the user waiting: Read, or a new address typed while
    // reading, goes out at once.
    void pollIntervalYieldsToTheUser_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("Read after Stop") << "stop-read";
        QTest::newRow("Read while reading") << "read";
        QTest::newRow("a new address typed") << "address";
    }

    void pollIntervalYieldsToTheUser()
    {
        QFETCH(QString, action);
        CycleSettings settings;
        settings.pollInterval = 1h;
        Line line(settings);
        line.startReading();
        line.receive(reply(1));
        line.wait(25ms); // the next query waits an hour
        QVERIFY(line.sent.empty() && line.shown.size() == 1 && line.cycle.deadline() > line.now + 59min);
        if (action == "stop-read") {
            line.stop();
            line.wait(10s);
            line.read();
        } else if (action == "read") {
            line.read();
        } else {
            QVERIFY(line.cycle.setAddressText("4"));
            line.wait(0ms);
        }
        QCOMPARE(line.sent.size(), size_t(1));
        QVERIFY(line.sent.front().find("COF8") != std::string::npos);
        line.wait(2ms);
        line.receive(kAck);
        line.wait(25ms); // and its first value is asked for at once
        QCOMPARE(line.sent.size(), size_t(2));
        QVERIFY(line.sent.back().find("MSV?") != std::string::npos);
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
        line.learn();
        const Bytes r = reply(5);
        line.apply(line.cycle.ShowData(r, -1, line.now));
        QVERIFY(line.shown.empty());
        QVERIFY(line.sent.empty());
    }

    // With --echo the adapter's copy of each command is dropped; where the adapter
    // does not echo after all, replies are read just the same.
    // With --echo the adapter's copy of each command is dropped; where the adapter
    // does not echo after all, replies are read just the same, even those whose
    // bytes look like the start of a command, whole or byte by byte.
    void echoDroppedWhenAsked_data()
    {
        QTest::addColumn<bool>("echoes");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("byteByByte");
        QTest::newRow("adapter echoes") << true << -11 << false;
        QTest::newRow("adapter echoes, a value beginning S0") << true << 0x533012 << true;
        QTest::newRow("adapter does not echo") << false << -11 << false;
        QTest::newRow("no echo, a value with an S inside") << false << 0x015301 << true;
        QTest::newRow("no echo, a value beginning S") << false << 0x531234 << false;
        QTest::newRow("no echo, a value beginning S0, byte by byte") << false << 0x533012 << true;
    }

    void echoDroppedWhenAsked()
    {
        QFETCH(bool, echoes);
        QFETCH(int, value);
        QFETCH(bool, byteByByte);
        CycleSettings settings;
        settings.dropEcho = true;
        Line line(settings);
        line.read();
        for (int i = 0; i < 12; ++i) {
            if (echoes)
                line.receive(text(line.sent.back()));
            const Bytes r = i == 0 ? kAck : reply(i < 11 ? -i : value);
            if (byteByByte) {
                for (std::uint8_t b : r)
                    line.receive({b});
            } else {
                line.receive(r);
            }
            line.wait(25ms);
        }
        QCOMPARE(line.shown.size(), size_t(11));
        QCOMPARE(line.shown.back(), std::to_string(value));
    }

    void echoWithoutTheOptionIsReportedAsSuch()
    {
        Line line;
        line.read();
        line.receive(text(kSetup0));
        line.receive(kAck);
        line.wait(25ms);
        for (int i = 0; i < 45; ++i) {
            line.receive(text(line.sent.back()));
            line.receive(reply(-7));
            line.wait(25ms);
        }
        QVERIFY(line.shown.empty());
        QCOMPARE(line.cycle.status().stale, StaleReason::badCheck);
        QVERIFY(line.cycle.status().echoSuspected);
    }

    // The line --console prints at the end of a run.
    void summary_data()
    {
        QTest::addColumn<int>("values");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QList<int>>("replyMs");
        QTest::addColumn<QString>("line");
        const QString counts = "0 commands, 0 time-outs, 0 bad check bytes, 0 replies with bad trailing bytes, 0 short "
                               "replies, 0 late replies; 0 bytes discarded, 0 skipped in front of replies";
        QTest::newRow("at the very start") << 0 << 0 << QList<int>{} << "0 values in 0.0 s (0.0/s); " + counts;
        QTest::newRow("one value") << 1 << 2 << QList<int>{} << "1 value in 2.0 s (0.5/s); " + counts;
        QTest::newRow("timed replies") << 3 << 2 << QList<int>{4, 2, 6}
                                       << "3 values in 2.0 s (1.5/s); " + counts
                                              + "; reply time min 2.0, mean 4.0, max 6.0 ms";
        QTest::newRow("one of each") << -1 << 1 << QList<int>{}
                                     << "1 value in 1.0 s (1.0/s); 1 command, 1 time-out, 1 bad check byte, 1 reply with bad "
                                        "trailing bytes, 1 short reply, 1 late reply; 1 byte discarded, 1 skipped in "
                                        "front of replies";
    }

    void summary()
    {
        QFETCH(int, values);
        QFETCH(int, seconds);
        QFETCH(QList<int>, replyMs);
        QFETCH(QString, line);
        CycleCounters c;
        c.runStart = TimePoint{} + std::chrono::hours(1000);
        c.goodValues = std::uint64_t(std::abs(values));
        if (values < 0) // one of each
            c.commandsSent = c.timeouts = c.badChecks = c.badTrailers = c.shortReplies = c.lateReplies
                = c.discardedBytes = c.skippedBytes = 1;
        for (int ms : replyMs)
            c.noteReplyTime(std::chrono::milliseconds(ms));
        QCOMPARE(QString::fromStdString(counterSummary(c, c.runStart + std::chrono::seconds(seconds))), line);
    }
};

QTEST_APPLESS_MAIN(tst_readcycle)
#include "tst_readcycle.moc"
