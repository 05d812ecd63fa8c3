#include "WindowText.h"

#include "ConsoleText.h"

namespace kvp {
namespace {

// The state word of the status line; empty for conditions that leave it alone.
QString stateWord(Condition condition)
{
    switch (condition) {
    case Condition::ready:
        return QStringLiteral("就绪");
    case Condition::reading:
        return QStringLiteral("读取中");
    case Condition::stopped:
        return QStringLiteral("已停止");
    case Condition::noAnswer:
        return QStringLiteral("模块无应答");
    case Condition::badCheck:
        return QStringLiteral("校验错误");
    case Condition::echoOnLine:
        return QStringLiteral("校验错误 (echo on the line? try --echo)");
    case Condition::repliesLate:
        return QStringLiteral("应答晚于超时: 请加大 --timeout");
    case Condition::deviceRemoved:
    case Condition::writeFailed:
        return QStringLiteral("设备已断开 (device gone, waiting for it)");
    case Condition::portChanged:
        return QStringLiteral("设备已断开 (another device at this path, left alone)");
    default:
        return {};
    }
}

// Whether the user must be told in a message box, not only on the status line.
bool needsMessage(Condition condition)
{
    switch (condition) {
    case Condition::portMissing:
    case Condition::permissionDenied:
    case Condition::portInUse:
    case Condition::portSetup:
    case Condition::portIsTerminal:
    case Condition::pathTooLong:
    case Condition::tooManyFiles:
    case Condition::portChanged:
    case Condition::logWriteFailed:
    case Condition::deviceRemoved:
    case Condition::writeFailed:
    case Condition::invalidAddress:
    case Condition::logFile:
    case Condition::recordingFailed:
    case Condition::simulatorFailed:
        return true;
    default:
        return false;
    }
}

} // namespace

WindowText windowText(Condition condition, const Facts &facts)
{
    WindowText text;
    text.title = facts.simulated ? QStringLiteral("数据读取演示 — 模拟模块 (simulated values)")
                                 : QStringLiteral("数据读取演示");
    text.hint = QStringLiteral("Press 读取 (Read) to start; the counts of the run appear here.");
    if (const QString state = stateWord(condition); !state.isEmpty()) {
        const QString port = facts.simulated ? QStringLiteral("模拟模块 (simulated) on %1").arg(facts.port)
                                             : facts.port;
        text.status = QStringLiteral("%1  —  %2").arg(state, port);
    }
    if (condition == Condition::invalidAddress)
        text.message = QStringLiteral("KV-P地址必须是 0 到 31 之间的数字");
    else if (needsMessage(condition))
        text.message = consoleText(condition, facts); // the window's messages are English for now
    return text;
}

} // namespace kvp
