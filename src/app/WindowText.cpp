#include "WindowText.h"

#include "ConsoleText.h"

#include <QCoreApplication>

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
    case Condition::addressKept:
        return QCoreApplication::translate("kvp", "地址无效: 仍在读取地址 %1");
    // A port that could not be opened: the port list is one click away on the same line.
    case Condition::portMissing:
        return QCoreApplication::translate("kvp", "串口不存在: 点击右侧串口名选择");
    case Condition::permissionDenied:
        return QCoreApplication::translate("kvp", "无权限打开串口: 见提示");
    case Condition::portInUse:
        return QCoreApplication::translate("kvp", "串口被占用");
    case Condition::portSetup:
        return QCoreApplication::translate("kvp", "串口不接受 19200,e,8,1");
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
    text.status = stateWord(condition);
    if (condition == Condition::addressKept)
        text.status = text.status.arg(facts.address);
    text.port = facts.simulated ? QStringLiteral("模拟模块 (simulated) on %1").arg(facts.port) : facts.port;
    if (condition == Condition::invalidAddress)
        text.message = QStringLiteral("KV-P地址必须是 0 到 31 之间的数字");
    else if (needsMessage(condition))
        text.message = consoleText(condition, facts); // the window's messages are English for now
    return text;
}

QString windowWord(WindowWord word)
{
    switch (word) {
    case WindowWord::addressTip:
        return QCoreApplication::translate("kvp", "模块地址 0 ~ 31; 回车读取, Esc 停止");
    case WindowWord::readTip:
        return QCoreApplication::translate("kvp", "设置模块并连续读取数值 (回车)");
    case WindowWord::stopTip:
        return QCoreApplication::translate("kvp", "停止读取 (Esc)");
    case WindowWord::quitTip:
        return QCoreApplication::translate("kvp", "关闭程序");
    case WindowWord::portTip:
        return QCoreApplication::translate("kvp", "%1\n点击选择串口 (Ctrl+P)");
    case WindowWord::menuTip:
        return QCoreApplication::translate("kvp", "更多");
    case WindowWord::portListTip:
        return QCoreApplication::translate("kvp", "本机的串口; 插拔适配器时自动更新. 单击选择");
    case WindowWord::portPathPlaceholder:
        return QCoreApplication::translate("kvp", "或输入串口路径, 如 /dev/ttyUSB0");
    case WindowWord::portPathOpen:
        return QCoreApplication::translate("kvp", "打开");
    case WindowWord::portPathOpenTip:
        return QCoreApplication::translate("kvp", "打开输入的串口路径");
    case WindowWord::noPorts:
        return QCoreApplication::translate("kvp", "未找到串口: 请插入适配器");
    case WindowWord::portMenuEntry:
        return QCoreApplication::translate("kvp", "选择串口…");
    case WindowWord::echoMenuEntry:
        return QCoreApplication::translate("kvp", "丢弃 RS-485 回波 (--echo)");
    case WindowWord::timeoutMenuEntry:
        return QCoreApplication::translate("kvp", "应答超时…");
    case WindowWord::timeoutQuestion:
        return QCoreApplication::translate("kvp", "应答超时 (毫秒):");
    }
    return {};
}

} // namespace kvp
