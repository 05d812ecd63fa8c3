#include "WindowText.h"

#include "ConsoleText.h"
#include "FileTrouble.h"
#include "network/NetworkAddress.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace kvp {
namespace {

// The state word of the status line; empty for conditions that leave it alone.
QString stateWord(Condition condition)
{
    switch (condition) {
    case Condition::ready:
        return QCoreApplication::translate("kvp", "就绪");
    case Condition::reading:
        return QCoreApplication::translate("kvp", "读取中");
    case Condition::stopped:
        return QCoreApplication::translate("kvp", "已停止");
    case Condition::noAnswer:
        return QCoreApplication::translate("kvp", "模块无应答");
    case Condition::badCheck:
        return QCoreApplication::translate("kvp", "校验错误");
    case Condition::echoOnLine:
        return QCoreApplication::translate("kvp", "校验错误 (线路上有回波? 请在 ⋯ 菜单中选择“丢弃 RS-485 回波”)");
    case Condition::repliesLate:
        return QCoreApplication::translate("kvp", "应答晚于超时: 请在 ⋯ 菜单中加大“应答超时”");
    case Condition::badTrailer:
        return QCoreApplication::translate("kvp", "应答结尾与先前不同: 重新学习中");
    case Condition::repliesCutShort:
        return QCoreApplication::translate("kvp", "应答残缺: 可能有两个模块使用同一地址 (冲突), 或线路丢失字节");
    case Condition::timeoutGrown:
        return QCoreApplication::translate("kvp", "读取中; 应答较慢, 超时已延长至 %1 ms");
    case Condition::deviceRemoved:
    case Condition::writeFailed:
        return QCoreApplication::translate("kvp", "设备已断开, 等待它回来");
    case Condition::aboveHigh:
        return QCoreApplication::translate("kvp", "读取中; ▲ 高于上限 %1");
    case Condition::belowLow:
        return QCoreApplication::translate("kvp", "读取中; ▼ 低于下限 %1");
    case Condition::portChanged:
        return QCoreApplication::translate("kvp", "设备已断开 (此路径上已是另一个设备, 未去动它)");
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
    case Condition::connectionLost:
        return QCoreApplication::translate("kvp", "连接已断开: 正在重新连接");
    case Condition::connecting:
        return QCoreApplication::translate("kvp", "正在连接串口服务器 …");
    case Condition::badServerAddress:
    case Condition::connectionRefused:
    case Condition::hostNotFound:
    case Condition::connectTimedOut:
    case Condition::notComPortServer:
    case Condition::networkFailed:
        return QCoreApplication::translate("kvp", "无法连接串口服务器: 见提示");
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
    case Condition::portIsConsole:
    case Condition::pathTooLong:
    case Condition::tooManyFiles:
    case Condition::portChanged:
    case Condition::logWriteFailed:
    case Condition::deviceRemoved:
    case Condition::writeFailed:
    case Condition::invalidAddress:
    case Condition::logFile:
    case Condition::recordingFailed:
    case Condition::exportFailed:
    case Condition::simulatorFailed:
    case Condition::badServerAddress:
    case Condition::connectionRefused:
    case Condition::hostNotFound:
    case Condition::connectTimedOut:
    case Condition::notComPortServer:
    case Condition::networkFailed:
    case Condition::connectionLost:
        return true;
    default:
        return false;
    }
}


// What to do about a value log or recording that could not be written.
QString fileAdvice(const Facts &facts, FileTrouble otherwise)
{
    switch (fileTrouble(facts.error, otherwise)) {
    case FileTrouble::space:
        return QCoreApplication::translate("kvp", "请释放一些空间, 或选择另一个文件.");
    case FileTrouble::access:
        return QCoreApplication::translate("kvp", "请选择一个您有写权限的文件夹中的文件.");
    case FileTrouble::noReader:
        return QCoreApplication::translate("kvp", "它是一个没有读取方的 FIFO: 请先启动读取它的程序, 或选择另一个文件.");
    case FileTrouble::notAFile:
        return QCoreApplication::translate("kvp", "它不接受数值 (不是普通文件?): 请选择另一个文件.");
    }
    return {};
}

QString withDetail(const QString &text, const Facts &facts)
{
    return facts.detail.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, facts.detail);
}

// Name the group that really owns the device; on Debian it is usually dialout.
QString owningGroup(const QString &device)
{
    const QString group = QFileInfo(device).group();
    return group.isEmpty() || group == QLatin1String("root") ? QStringLiteral("dialout") : group;
}

// A message box's text, in the window's language. The English translations say what
// stderr says, word for word, so that a user reading either reads the same advice;
// the system's reason (detail) comes from the system and is left as it is.
QString windowMessage(Condition condition, const Facts &facts)
{
    switch (condition) {
    case Condition::portMissing:
        return withDetail(QCoreApplication::translate("kvp", "串口 %1 不存在. 请检查适配器是否已插好, 然后点击状态栏右侧的串口名 (或按 Ctrl+P) 选择串口.")
                              .arg(facts.port), facts);
    case Condition::permissionDenied:
        return withDetail(QCoreApplication::translate("kvp", "无权限打开串口 %1. 请把您的用户加入拥有它的用户组 '%2' "
                             "(sudo adduser $USER %2), 然后注销并重新登录.")
                              .arg(facts.port, owningGroup(facts.port)), facts);
    case Condition::portInUse:
        return withDetail(QCoreApplication::translate("kvp", "串口 %1 正被另一个程序使用. 请关闭那个程序 (或另一个 kvp-reader) 后重试.")
                              .arg(facts.port), facts);
    case Condition::portSetup:
        if (NetworkAddress::isServer(facts.port))
            return withDetail(QCoreApplication::translate("kvp", "串口服务器 %1 不把线路设为 19200 bit/s, 偶校验, 8 个数据位, "
                                                                 "1 个停止位. 请在服务器自己的设置中设定该串口的线路, 或让它接受"
                                                                 "客户端的设置; 线路在那里设好后, 用 tcp:// 也能读取.")
                                  .arg(facts.port), facts);
        return withDetail(QCoreApplication::translate("kvp", "串口 %1 不接受 19200 bit/s, 偶校验, 8 个数据位, 1 个停止位. "
                             "请检查它是否是串口, 以及它的驱动是否正常.").arg(facts.port), facts);
    case Condition::portIsTerminal:
        return QCoreApplication::translate("kvp", "%1 是终端, 不是串口适配器; 读取它会占用这个终端. "
                  "请点击状态栏右侧的串口名 (或按 Ctrl+P) 选择串口适配器.").arg(facts.port);
    case Condition::portIsConsole:
        return QCoreApplication::translate("kvp", "%1 是系统控制台: 内核在这里输出消息, 也可能有人在此登录, 所以从不打开它. "
                  "请点击状态栏右侧的串口名 (或按 Ctrl+P) 选择串口适配器.").arg(facts.port);
    case Condition::pathTooLong:
        return withDetail(QCoreApplication::translate("kvp", "设备路径超过了本系统允许的长度. 请在串口列表 (Ctrl+P) 中选择设备的短名称."),
                          facts);
    case Condition::tooManyFiles:
        return withDetail(QCoreApplication::translate("kvp", "无法打开串口 %1: 没有剩余的文件描述符. 请关闭其他程序, 或提高上限 (ulimit -n), 然后重试.")
                              .arg(facts.port), facts);
    case Condition::deviceRemoved:
        return withDetail(QCoreApplication::translate("kvp", "串口 %1 在打开时消失了 (适配器被拔出?). 正在等待它回来: 请重新插上.")
                              .arg(facts.port), facts);
    case Condition::writeFailed:
        return withDetail(QCoreApplication::translate("kvp", "无法在串口 %1 上发送. 请检查电缆和适配器; 正在等待串口恢复工作.").arg(facts.port),
                          facts);
    case Condition::portChanged:
        return QCoreApplication::translate("kvp", "%1 回来了, 但已是另一个设备, 不是之前读取的那个; 程序不去动它. 请重新插上模块的适配器, "
                  "或重新启动 kvp-reader 来读取新设备.").arg(facts.port);
    case Condition::invalidAddress:
        return QCoreApplication::translate("kvp", "KV-P地址必须是 0 到 31 之间的数字");
    case Condition::logFile:
        return withDetail(QCoreApplication::translate("kvp", "无法写入数值记录文件 %1. %2")
                              .arg(facts.file, fileAdvice(facts, FileTrouble::access)), facts);
    case Condition::logWriteFailed:
        return withDetail(QCoreApplication::translate("kvp", "无法写入数值记录文件 %1; 文件以最后一个完整的行结束. %2")
                              .arg(facts.file, fileAdvice(facts, FileTrouble::space)), facts);
    case Condition::recordingFailed:
        return withDetail(QCoreApplication::translate("kvp", "记录到 %1 已停止: 有一个数值无法写入. %2 然后重新记录.")
                              .arg(facts.file, fileAdvice(facts, FileTrouble::space)), facts);
    case Condition::exportFailed:
        return QCoreApplication::translate("kvp", "无法保存 %1 (%2). 请选择另一个文件.").arg(facts.file, facts.detail);
    case Condition::simulatorFailed:
        return withDetail(QCoreApplication::translate("kvp", "无法启动模拟模块."), facts);
    case Condition::badServerAddress:
        return QCoreApplication::translate("kvp", "%1 不是串口服务器的地址: %2").arg(facts.port, facts.detail);
    case Condition::connectionRefused:
        return withDetail(QCoreApplication::translate("kvp", "%1 的串口服务器拒绝了连接: 该端口无人监听. 请检查端口号, 以及服务器是否在运行.")
                              .arg(facts.port), facts);
    case Condition::hostNotFound:
        return withDetail(QCoreApplication::translate("kvp", "%1 的主机名未知. 请检查主机名, 或给出服务器的 IP 地址.").arg(facts.port),
                          facts);
    case Condition::connectTimedOut:
        return withDetail(QCoreApplication::translate("kvp", "%1 的串口服务器没有应答. 请检查地址, 服务器是否开着, 以及中间有无防火墙.")
                              .arg(facts.port), facts);
    case Condition::notComPortServer:
        return withDetail(QCoreApplication::translate("kvp", "%1 的服务器不允许设置其串口 (RFC 2217, Telnet COM 端口控制). 请为该端口打开它, "
                             "或把服务器的串口设为 19200 bit/s, 8 个数据位, 偶校验, 1 个停止位并改用 tcp://.")
                              .arg(facts.port), facts);
    case Condition::networkFailed:
        return withDetail(QCoreApplication::translate("kvp", "无法连接 %1 的串口服务器. 请检查地址和服务器.").arg(facts.port), facts);
    case Condition::connectionLost:
        return withDetail(QCoreApplication::translate("kvp", "与 %1 的串口服务器的连接已断开. 正在重新连接, 起初每 0.5 s 一次, 之后每 5 s 一次.")
                              .arg(facts.port), facts);
    default:
        return consoleText(condition, facts);
    }
}
} // namespace

WindowText windowText(Condition condition, const Facts &facts)
{
    WindowText text;
    text.title = facts.simulated ? QCoreApplication::translate("kvp", "数据读取演示 — 模拟模块")
                                 : QCoreApplication::translate("kvp", "数据读取演示");
    text.hint = QCoreApplication::translate("kvp", "按“读取”开始; 本次读取的计数显示在这里.");
    text.status = stateWord(condition);
    if (condition == Condition::addressKept)
        text.status = text.status.arg(facts.address);
    else if (condition == Condition::timeoutGrown)
        text.status = text.status.arg(facts.count);
    else if (condition == Condition::aboveHigh || condition == Condition::belowLow)
        text.status = text.status.arg(facts.limit);
    text.port = facts.simulated ? QCoreApplication::translate("kvp", "模拟模块, 串口 %1").arg(facts.port)
                                : facts.port;
    if (needsMessage(condition))
        text.message = windowMessage(condition, facts);
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
        return QCoreApplication::translate("kvp", "或输入串口路径, 如 /dev/ttyUSB0, 或串口服务器 tcp://主机:端口");
    case WindowWord::portPathOpen:
        return QCoreApplication::translate("kvp", "打开");
    case WindowWord::portPathOpenTip:
        return QCoreApplication::translate("kvp", "打开输入的串口路径");
    case WindowWord::noPorts:
        return QCoreApplication::translate("kvp", "未找到串口: 请插入适配器");
    case WindowWord::systemConsole:
        return QCoreApplication::translate("kvp", "系统控制台: 从不打开");
    case WindowWord::portMenuEntry:
        return QCoreApplication::translate("kvp", "选择串口…");
    case WindowWord::echoMenuEntry:
        return QCoreApplication::translate("kvp", "丢弃 RS-485 回波");
    case WindowWord::timeoutMenuEntry:
        return QCoreApplication::translate("kvp", "应答超时…");
    case WindowWord::timeoutQuestion:
        return QCoreApplication::translate("kvp", "应答超时 (毫秒, %1 到 %2):");
    case WindowWord::timeoutTitle:
        return QCoreApplication::translate("kvp", "应答超时");
    case WindowWord::boxNotOnBus:
        return QCoreApplication::translate("kvp", "读取模块列表; 地址框中的模块不在其中");
    }
    return {};
}

QString windowBrokerText(BrokerTrouble trouble, const BrokerUrl &url, const QString &detail)
{
    const QString broker = url.hostAndPort();
    const QString kept = QCoreApplication::translate("kvp", "数值先保留, 恢复后发送");
    QString why;
    switch (trouble) {
    case BrokerTrouble::refused:
        why = QCoreApplication::translate("kvp", "连接被拒绝: 代理是否在运行, 并在该端口监听?");
        break;
    case BrokerTrouble::unknownHost:
        why = QCoreApplication::translate("kvp", "主机名 %1 未知: 请检查代理地址").arg(url.host);
        break;
    case BrokerTrouble::loginRefused:
    case BrokerTrouble::notAuthorised:
        why = QCoreApplication::translate("kvp", "登录被拒绝: 请检查代理地址中的用户名和密码");
        break;
    case BrokerTrouble::tlsFailed:
        why = QCoreApplication::translate("kvp", "TLS 失败: 请检查 CA 证书, 以及代理在该端口是否使用 TLS");
        break;
    case BrokerTrouble::noAnswer:
        why = QCoreApplication::translate("kvp", "10 s 内无应答: 请检查地址, 端口和防火墙");
        break;
    case BrokerTrouble::lost:
        why = QCoreApplication::translate("kvp", "连接已断开");
        break;
    case BrokerTrouble::other:
        why = detail;
        break;
    }
    // The library's and the system's own words stay as they are.
    if (!detail.isEmpty() && trouble != BrokerTrouble::other)
        why += QStringLiteral(" (%1)").arg(detail);
    return QCoreApplication::translate("kvp", "MQTT 代理 %1 无法连接: %2; %3").arg(broker, why, kept);
}

QString windowBrokerUrlText(BrokerUrlFault fault, const QString &part)
{
    switch (fault) {
    case BrokerUrlFault::scheme:
        return QCoreApplication::translate("kvp", "地址须以 mqtt:// 或 mqtts:// 开头, 例如 mqtt://broker.example:1883/plant/kvp");
    case BrokerUrlFault::noPrefix:
        return QCoreApplication::translate("kvp", "主机后面须有主题前缀, 例如 mqtt://主机/plant/kvp");
    case BrokerUrlFault::noUser:
        return QCoreApplication::translate("kvp", "'@' 前面没有用户名");
    case BrokerUrlFault::openIpv6:
        return QCoreApplication::translate("kvp", "IPv6 地址缺少结尾的 ']'");
    case BrokerUrlFault::afterIpv6:
        return QCoreApplication::translate("kvp", "IPv6 地址后面有 %1; 端口写作 ]:端口").arg(part);
    case BrokerUrlFault::noPort:
        return QCoreApplication::translate("kvp", "':' 后面没有端口");
    case BrokerUrlFault::noHost:
        return QCoreApplication::translate("kvp", "缺少主机名或地址, 例如 mqtt://127.0.0.1/plant/kvp");
    case BrokerUrlFault::badHost:
        return QCoreApplication::translate("kvp", "主机名 %1 无效").arg(part);
    case BrokerUrlFault::badPort:
        return QCoreApplication::translate("kvp", "端口须是 1 到 65535 之间的数字, 而不是 %1").arg(part);
    case BrokerUrlFault::badPrefix:
        return QCoreApplication::translate("kvp", "主题前缀 %1 须由单个 '/' 分隔的层级组成, 不含 '+', '#', 两端不带 '/' "
                                                  "(密码中的 '/' 写作 %2F)").arg(part);
    }
    return {};
}

QString windowCounterSummary(const CycleCounters &c, TimePoint now)
{
    const double seconds = std::chrono::duration<double>(now - c.runStart).count();
    QString text = QCoreApplication::translate("kvp", "%1 个数值, 用时 %2 s (%3/s); %4 条命令, %5 次超时, %6 次校验错误, "
                                                      "%7 次结尾不符, %8 次应答不完整, %9 次应答迟到")
                       .arg(c.goodValues)
                       .arg(seconds, 0, 'f', 1)
                       .arg(seconds > 0 ? double(c.goodValues) / seconds : 0.0, 0, 'f', 1)
                       .arg(c.commandsSent)
                       .arg(c.timeouts)
                       .arg(c.badChecks)
                       .arg(c.badTrailers)
                       .arg(c.shortReplies)
                       .arg(c.lateReplies);
    text += QCoreApplication::translate("kvp", "; 丢弃 %1 字节, 应答前跳过 %2 字节").arg(c.discardedBytes).arg(c.skippedBytes);
    if (c.timedReplies > 0) {
        const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
        text += QCoreApplication::translate("kvp", "; 应答时间 最短 %1, 平均 %2, 最长 %3 ms")
                    .arg(ms(c.replyTimeMin), 0, 'f', 1)
                    .arg(ms(c.replyTimeMean()), 0, 'f', 1)
                    .arg(ms(c.replyTimeMax), 0, 'f', 1);
    }
    return text;
}

} // namespace kvp
