#include "protocol/Commands.h"
#include "protocol/ReplyEvaluation.h"

#include <QTest>

#include <vector>

using namespace kvp;

Q_DECLARE_METATYPE(kvp::Outcome)

class tst_frames : public QObject
{
    Q_OBJECT

private slots:
    void commands_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("parameter");
        QTest::addColumn<QByteArray>("query");

        QTest::newRow("address 1") << "1" << QByteArray::fromHex("5330313B434F46383B")
                                   << QByteArray::fromHex("5330313B4D53563F3B");
        QTest::newRow("address 31") << "31" << QByteArray("S31;COF8;") << QByteArray("S31;MSV?;");
        QTest::newRow("empty text") << "" << QByteArray("S00;COF8;") << QByteArray("S00;MSV?;");
        QTest::newRow("hex text") << "&H1F" << QByteArray("S31;COF8;") << QByteArray("S31;MSV?;");
    }

    void commands()
    {
        QFETCH(QString, address);
        QFETCH(QByteArray, parameter);
        QFETCH(QByteArray, query);
        QCOMPARE(QByteArray::fromStdString(BuildParameterCommand(address.toStdString())), parameter);
        QCOMPARE(QByteArray::fromStdString(BuildValueQuery(address.toStdString())), query);
    }

    void evaluate_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<int>("count");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<int>("value");

        const auto block = [](const char *hex) { return QByteArray::fromHex(hex) + "\r\n"; };
        QTest::newRow("5") << block("00000505") << 6 << Outcome::value << 5;
        QTest::newRow("256") << block("00010001") << 6 << Outcome::value << 256;
        QTest::newRow("1193046") << block("12345670") << 6 << Outcome::value << 1193046;
        QTest::newRow("largest") << block("7FFFFF7F") << 6 << Outcome::value << 8388607;
        QTest::newRow("smallest") << block("80000080") << 6 << Outcome::value << -8388608;
        QTest::newRow("FFFFFE is -2") << block("FFFFFEFE") << 6 << Outcome::value << -2;
        QTest::newRow("FFFFFF is -1") << block("FFFFFFFF") << 6 << Outcome::value << -1;
        QTest::newRow("zero") << block("00000000") << 6 << Outcome::value << 0;
        QTest::newRow("wrong check") << block("00000504") << 6 << Outcome::badCheck << 0;
        QTest::newRow("check only looks at byte 3") << block("00000505") + "xyz" << 9 << Outcome::value << 5;
        QTest::newRow("count 5 is short though it decodes") << block("00000505") << 5 << Outcome::short_ << 0;
        QTest::newRow("count 0") << QByteArray() << 0 << Outcome::short_ << 0;
        QTest::newRow("negative count") << block("00000505") << -1 << Outcome::none << 0;
        QTest::newRow("count beyond a tiny block") << QByteArray("\x01\x02", 2) << 6 << Outcome::short_ << 0;
    }

    void evaluate()
    {
        QFETCH(QByteArray, block);
        QFETCH(int, count);
        QFETCH(Outcome, outcome);
        QFETCH(int, value);
        const std::vector<std::uint8_t> bytes(block.begin(), block.end());
        const Evaluation result = EvaluateReply(bytes, static_cast<std::int16_t>(count));
        QCOMPARE(result.outcome, outcome);
        if (outcome == Outcome::value)
            QCOMPARE(result.value, value);
    }
};

QTEST_APPLESS_MAIN(tst_frames)
#include "tst_frames.moc"
