// The Windows port layer's decisions that need no Windows: what each Win32 error of a
// COM port means to the user, and what a device instance ID says of its adapter.
#include "serial/CommError.h"
#include "serial/InstanceId.h"

#include <QTest>

using namespace kvp;

class tst_commport : public QObject
{
    Q_OBJECT

private slots:
    void errors_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<unsigned>("error");
        QTest::addColumn<Condition>("expected");

        QTest::newRow("open: no such COM port") << "open" << 2u << Condition::portMissing;
        QTest::newRow("open: bad name (COM1:)") << "open" << 123u << Condition::portMissing;
        QTest::newRow("open: another program has it") << "open" << 5u << Condition::portInUse;
        QTest::newRow("open: sharing violation") << "open" << 32u << Condition::portInUse;
        QTest::newRow("open: no handles left") << "open" << 4u << Condition::tooManyFiles;
        QTest::newRow("open: not a serial port") << "open" << 1u << Condition::portSetup;
        // Windows' CDC driver aborts waits with the adapter attached: not a removal.
        QTest::newRow("wait: aborted (995)") << "read" << 995u << Condition::none;
        QTest::newRow("read: adapter pulled (access denied)") << "read" << 5u << Condition::deviceRemoved;
        QTest::newRow("read: adapter pulled (bad command)") << "read" << 22u << Condition::deviceRemoved;
        QTest::newRow("read: device removed") << "read" << 1617u << Condition::deviceRemoved;
        QTest::newRow("write: aborted (995)") << "write" << 995u << Condition::none;
        QTest::newRow("write: adapter pulled") << "write" << 22u << Condition::deviceRemoved;
        QTest::newRow("write: line gone (not ready)") << "write" << 21u << Condition::deviceRemoved;
        QTest::newRow("write: refused, device there") << "write" << 87u << Condition::writeFailed;
    }

    void errors()
    {
        QFETCH(QString, call);
        QFETCH(unsigned, error);
        QFETCH(Condition, expected);
        const Condition got = call == "open"   ? commOpenCondition(error)
                              : call == "read" ? commReadCondition(error)
                                               : commWriteCondition(error);
        QCOMPARE(got, expected);
    }

    void instanceIds_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("usb");
        QTest::addColumn<int>("vendor");
        QTest::addColumn<int>("product");
        QTest::addColumn<QString>("serial");

        QTest::newRow("Windows' USB driver") << "USB\\VID_067B&PID_2303\\A12345" << true << 0x067b << 0x2303
                                             << "A12345";
        QTest::newRow("FTDI's driver, port letter A") << "FTDIBUS\\VID_0403+PID_6001+AB0LMN8HA\\0000" << true
                                                      << 0x0403 << 0x6001 << "AB0LMN8H";
        QTest::newRow("no serial: Windows made one up") << "USB\\VID_1A86&PID_7523\\5&2B3C4D&0&2" << true << 0x1a86
                                                        << 0x7523 << "";
        QTest::newRow("composite device's interface") << "USB\\VID_2341&PID_0043&MI_00\\6&1F2E&0&0000" << true
                                                      << 0x2341 << 0x0043 << "";
        QTest::newRow("lower case hex") << "usb\\vid_10c4&pid_ea60\\0001" << true << 0x10c4 << 0xea60 << "0001";
        QTest::newRow("built-in port") << "ACPI\\PNP0501\\0" << false << 0 << 0 << "";
    }

    void instanceIds()
    {
        QFETCH(QString, id);
        QFETCH(bool, usb);
        QFETCH(int, vendor);
        QFETCH(int, product);
        QFETCH(QString, serial);
        const std::optional<UsbIds> ids = usbIdsOf(id);
        QCOMPARE(ids.has_value(), usb);
        if (!ids)
            return;
        QCOMPARE(int(ids->vendorId), vendor);
        QCOMPARE(int(ids->productId), product);
        QCOMPARE(ids->serialNumber, serial);
    }
};

QTEST_GUILESS_MAIN(tst_commport)
#include "tst_commport.moc"
