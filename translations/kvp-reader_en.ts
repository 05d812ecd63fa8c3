<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>TrendCaption</name>
    <message>
        <source>最小 %1   最大 %2   平均 %3</source>
        <translation>min %1   max %2   mean %3</translation>
    </message>
    <message>
        <source>地址 %1: </source>
        <translation>address %1: </translation>
    </message>
    <message>
        <source>这段时间内没有数值</source>
        <translation>No values in this span</translation>
    </message>
    <message>
        <source>   速率 %1 次/秒</source>
        <translation>   rate %1 /s</translation>
    </message>
    <message>
        <source>端口 %1   地址 %2   跨度 %3   %4</source>
        <translation>port %1   address %2   span %3   %4</translation>
    </message>
    <message>
        <source>(无)</source>
        <translation>(none)</translation>
    </message>
    <message>
        <source>地址 %1: %2</source>
        <translation>address %1: %2</translation>
    </message>
    <message>
        <source>没有数值</source>
        <translation>no values</translation>
    </message>
</context>
<context>
    <name>TrendExport</name>
    <message>
        <source>PNG 图片无法生成</source>
        <translation>the PNG picture could not be made</translation>
    </message>
    <message>
        <source>保存趋势图</source>
        <translation>Save the trend chart</translation>
    </message>
    <message>
        <source>保存趋势数据</source>
        <translation>Save the trend data</translation>
    </message>
    <message>
        <source>PNG 图片 (*.png)</source>
        <translation>PNG pictures (*.png)</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
</context>
<context>
    <name>frmMain</name>
    <message>
        <source>KV-P地址(0 ~ 31):</source>
        <translation>KV-P address (0 ~ 31):</translation>
    </message>
    <message>
        <source>数据显示</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>就绪</source>
        <translation>Ready</translation>
    </message>
</context>
<context>
    <name>kvp</name>
    <message>
        <source>10 秒</source>
        <translation>10 s</translation>
    </message>
    <message>
        <source>30 秒</source>
        <translation>30 s</translation>
    </message>
    <message>
        <source>1 分钟</source>
        <translation>1 min</translation>
    </message>
    <message>
        <source>5 分钟</source>
        <translation>5 min</translation>
    </message>
    <message>
        <source>10 分钟</source>
        <translation>10 min</translation>
    </message>
    <message>
        <source>30 分钟</source>
        <translation>30 min</translation>
    </message>
    <message>
        <source>1 小时</source>
        <translation>1 h</translation>
    </message>
    <message>
        <source>就绪</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>读取中</source>
        <translation>Reading</translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>模块无应答</source>
        <translation>No answer from the module</translation>
    </message>
    <message>
        <source>校验错误</source>
        <translation>Check byte wrong</translation>
    </message>
    <message>
        <source>地址无效: 仍在读取地址 %1</source>
        <translation>Address not valid: still reading address %1</translation>
    </message>
    <message>
        <source>串口不存在: 点击右侧串口名选择</source>
        <translation>No such serial port: click the port name on the right to choose one</translation>
    </message>
    <message>
        <source>无权限打开串口: 见提示</source>
        <translation>No permission to open the serial port: see the tooltip</translation>
    </message>
    <message>
        <source>串口被占用</source>
        <translation>Serial port in use</translation>
    </message>
    <message>
        <source>串口不接受 19200,e,8,1</source>
        <translation>Serial port does not accept 19200,e,8,1</translation>
    </message>
    <message>
        <source>无权限打开串口 %1. 请把您的用户加入拥有它的用户组 &apos;%2&apos; (sudo adduser $USER %2), 然后注销并重新登录.</source>
        <translation>No permission to open serial port %1. Add your user to the group &apos;%2&apos; that owns it (sudo adduser $USER %2), then log out and in again.</translation>
    </message>
    <message>
        <source>串口 %1 正被另一个程序使用. 请关闭那个程序 (或另一个 kvp-reader) 后重试.</source>
        <translation>Serial port %1 is in use by another program. Close that program (or the other kvp-reader) and try again.</translation>
    </message>
    <message>
        <source>串口服务器 %1 不把线路设为 19200 bit/s, 偶校验, 8 个数据位, 1 个停止位. 请在服务器自己的设置中设定该串口的线路, 或让它接受客户端的设置; 线路在那里设好后, 用 tcp:// 也能读取.</source>
        <translation>Serial server %1 does not set its line to 19200 bit/s, even parity, 8 data bits, 1 stop bit. Set that port&apos;s line in the server&apos;s own configuration, or let it take the client&apos;s settings; once the line is set there, tcp:// reads it as well.</translation>
    </message>
    <message>
        <source>串口 %1 不接受 19200 bit/s, 偶校验, 8 个数据位, 1 个停止位. 请检查它是否是串口, 以及它的驱动是否正常.</source>
        <translation>Serial port %1 does not accept 19200 bit/s, even parity, 8 data bits, 1 stop bit. Check that it is a serial port and its driver is working.</translation>
    </message>
    <message>
        <source>系统控制台: 从不打开</source>
        <translation>system console: never opened</translation>
    </message>
    <message>
        <source>无法打开串口 %1: 没有剩余的文件描述符. 请关闭其他程序, 或提高上限 (ulimit -n), 然后重试.</source>
        <translation>Cannot open serial port %1: no file descriptor is left. Close other programs, or raise the limit (ulimit -n), and try again.</translation>
    </message>
    <message>
        <source>串口 %1 在打开时消失了 (适配器被拔出?). 正在等待它回来: 请重新插上.</source>
        <translation>Serial port %1 went away while it was open (adapter unplugged?). Waiting for it to come back: plug it in again.</translation>
    </message>
    <message>
        <source>无法在串口 %1 上发送. 请检查电缆和适配器; 正在等待串口恢复工作.</source>
        <translation>Could not send on serial port %1. Check the cable and the adapter; waiting for the port to work again.</translation>
    </message>
    <message>
        <source>%1 回来了, 但已是另一个设备, 不是之前读取的那个; 程序不去动它. 请重新插上模块的适配器, 或重新启动 kvp-reader 来读取新设备.</source>
        <translation>%1 is back, but as another device than the one read before; it is left alone. Plug the module&apos;s adapter in again, or start kvp-reader again to read the new device.</translation>
    </message>
    <message>
        <source>KV-P地址必须是 0 到 31 之间的数字</source>
        <translation>The KV-P address must be a number from 0 to 31</translation>
    </message>
    <message>
        <source>无法写入数值记录文件 %1. %2</source>
        <translation>Cannot write the value log %1. %2</translation>
    </message>
    <message>
        <source>无法写入数值记录文件 %1; 文件以最后一个完整的行结束. %2</source>
        <translation>Cannot write to the value log %1; the log ends with its last whole row. %2</translation>
    </message>
    <message>
        <source>记录到 %1 已停止: 有一个数值无法写入. %2 然后重新记录.</source>
        <translation>Recording to %1 stopped: a value could not be written. %2 Then record again.</translation>
    </message>
    <message>
        <source>请释放一些空间, 或选择另一个文件.</source>
        <translation>Free some space, or choose another file.</translation>
    </message>
    <message>
        <source>请选择一个您有写权限的文件夹中的文件.</source>
        <translation>Choose a file in a folder you may write to.</translation>
    </message>
    <message>
        <source>它是一个没有读取方的 FIFO: 请先启动读取它的程序, 或选择另一个文件.</source>
        <translation>It is a FIFO and nothing reads it: start its reader first, or choose another file.</translation>
    </message>
    <message>
        <source>它不接受数值 (不是普通文件?): 请选择另一个文件.</source>
        <translation>It does not take values (is it an ordinary file?): choose another file.</translation>
    </message>
    <message>
        <source>无法启动模拟模块.</source>
        <translation>Cannot start the simulated module.</translation>
    </message>
    <message>
        <source>数据读取演示</source>
        <translation>KV-P Reader</translation>
    </message>
    <message>
        <source>按“读取”开始; 本次读取的计数显示在这里.</source>
        <translation>Press Read to start; the counts of the run appear here.</translation>
    </message>
    <message>
        <source>模块地址 0 ~ 31; 回车读取, Esc 停止</source>
        <translation>The module&apos;s address, 0 ~ 31; Enter reads, Esc stops</translation>
    </message>
    <message>
        <source>设置模块并连续读取数值 (回车)</source>
        <translation>Set the module up and read its value continuously (Enter)</translation>
    </message>
    <message>
        <source>停止读取 (Esc)</source>
        <translation>Stop reading (Esc)</translation>
    </message>
    <message>
        <source>关闭程序</source>
        <translation>Close the program</translation>
    </message>
    <message>
        <source>%1
点击选择串口 (Ctrl+P)</source>
        <translation>%1
Click to choose the serial port (Ctrl+P)</translation>
    </message>
    <message>
        <source>更多</source>
        <translation>More</translation>
    </message>
    <message>
        <source>本机的串口; 插拔适配器时自动更新. 单击选择</source>
        <translation>This machine&apos;s serial ports; kept current as adapters come and go. Click one to choose it</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>打开输入的串口路径</source>
        <translation>Open the port path typed</translation>
    </message>
    <message>
        <source>未找到串口: 请插入适配器</source>
        <translation>No serial port found: plug an adapter in</translation>
    </message>
    <message>
        <source>选择串口…</source>
        <translation>Choose serial port…</translation>
    </message>
    <message>
        <source>应答超时…</source>
        <translation>Reply time-out…</translation>
    </message>
    <message>
        <source>应答结尾与先前不同: 重新学习中</source>
        <translation>Replies end differently: learning them anew</translation>
    </message>
    <message>
        <source>读取中; 应答较慢, 超时已延长至 %1 ms</source>
        <translation>Reading; replies are slow, the time-out is now %1 ms</translation>
    </message>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 分钟</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>读取模块列表; 地址框中的模块不在其中</source>
        <translation>Reading the module list; the module in the address box is not on it</translation>
    </message>
    <message>
        <source>KV-P 地址 (0 到 31)</source>
        <translation>KV-P address (0 to 31)</translation>
    </message>
    <message>
        <source>实时</source>
        <translation>live</translation>
    </message>
    <message>
        <source>过时</source>
        <translation>stale</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>设备已断开, 等待它回来</source>
        <translation>Device gone, waiting for it</translation>
    </message>
    <message>
        <source>数据读取演示 — 模拟模块</source>
        <translation>KV-P Reader — simulated module</translation>
    </message>
    <message>
        <source>模拟模块, 串口 %1</source>
        <translation>simulated module on %1</translation>
    </message>
    <message>
        <source>%1 个数值, 用时 %2 s (%3/s); %4 条命令, %5 次超时, %6 次校验错误, %7 次结尾不符, %8 次应答不完整, %9 次应答迟到</source>
        <translation>%1 values in %2 s (%3/s); %4 commands, %5 time-outs, %6 bad check bytes, %7 replies with bad trailing bytes, %8 short replies, %9 late replies</translation>
    </message>
    <message>
        <source>; 丢弃 %1 字节, 应答前跳过 %2 字节</source>
        <translation>; %1 bytes discarded, %2 skipped in front of replies</translation>
    </message>
    <message>
        <source>; 应答时间 最短 %1, 平均 %2, 最长 %3 ms</source>
        <translation>; reply time min %1, mean %2, max %3 ms</translation>
    </message>
    <message>
        <source>正在查找模块: 查找结束后再选择串口</source>
        <translation>Searching for modules: choose the port once the search is over</translation>
    </message>
    <message>
        <source>读取中; ▲ 高于上限 %1</source>
        <translation>reading; ▲ above the high limit %1</translation>
    </message>
    <message>
        <source>读取中; ▼ 低于下限 %1</source>
        <translation>reading; ▼ below the low limit %1</translation>
    </message>
    <message>
        <source>连接已断开: 正在重新连接</source>
        <translation>Connection lost: reconnecting</translation>
    </message>
    <message>
        <source>无法连接串口服务器: 见提示</source>
        <translation>Cannot connect to the serial server: see the message</translation>
    </message>
    <message>
        <source>%1 不是串口服务器的地址: %2</source>
        <translation>%1 is not a serial server&apos;s address: %2</translation>
    </message>
    <message>
        <source>%1 的串口服务器拒绝了连接: 该端口无人监听. 请检查端口号, 以及服务器是否在运行.</source>
        <translation>The serial server at %1 refused the connection: nothing listens at that port. Check the port number and that the server is running.</translation>
    </message>
    <message>
        <source>%1 的主机名未知. 请检查主机名, 或给出服务器的 IP 地址.</source>
        <translation>The host of %1 is not known. Check the host name, or give the server&apos;s IP address.</translation>
    </message>
    <message>
        <source>%1 的串口服务器没有应答. 请检查地址, 服务器是否开着, 以及中间有无防火墙.</source>
        <translation>No answer from the serial server at %1. Check the address, that the server is on, and that no firewall is in between.</translation>
    </message>
    <message>
        <source>%1 的服务器不允许设置其串口 (RFC 2217, Telnet COM 端口控制). 请为该端口打开它, 或把服务器的串口设为 19200 bit/s, 8 个数据位, 偶校验, 1 个停止位并改用 tcp://.</source>
        <translation>The server at %1 does not let the reader set its serial line (RFC 2217, Telnet COM port control). Turn that on for its port, or set the server&apos;s line to 19200 bit/s, 8 data bits, even parity, 1 stop bit and use tcp:// instead.</translation>
    </message>
    <message>
        <source>无法连接 %1 的串口服务器. 请检查地址和服务器.</source>
        <translation>Cannot connect to the serial server at %1. Check the address and the server.</translation>
    </message>
    <message>
        <source>与 %1 的串口服务器的连接已断开. 正在重新连接, 起初每 0.5 s 一次, 之后每 5 s 一次.</source>
        <translation>The connection to the serial server at %1 was lost. Reconnecting, every 0.5 s at first, then every 5 s.</translation>
    </message>
    <message>
        <source>或输入串口路径, 如 /dev/ttyUSB0, 或串口服务器 tcp://主机:端口</source>
        <translation>or type a port path, e.g. /dev/ttyUSB0, or a serial server, tcp://HOST:PORT</translation>
    </message>
    <message>
        <source>%1 不存在</source>
        <translation>%1 does not exist</translation>
    </message>
    <message>
        <source>%1 不是本程序的趋势图库</source>
        <translation>%1 is not this program&apos;s trend chart library</translation>
    </message>
    <message>
        <source>正在连接串口服务器 …</source>
        <translation>Connecting to the serial server …</translation>
    </message>
    <message>
        <source>%1 · %2</source>
        <translation>%1 · %2</translation>
    </message>
    <message>
        <source>设置无法保存到 %1</source>
        <translation>settings could not be saved to %1</translation>
    </message>
    <message>
        <source>校验错误 (线路上有回波? 请在 ⋯ 菜单中选择“丢弃 RS-485 回波”)</source>
        <translation>Bad check byte (an echo on the line? choose “Drop the RS-485 echo” in the ⋯ menu)</translation>
    </message>
    <message>
        <source>应答晚于超时: 请在 ⋯ 菜单中加大“应答超时”</source>
        <translation>Replies come after the time-out: raise the “Reply time-out” in the ⋯ menu</translation>
    </message>
    <message>
        <source>设备已断开 (此路径上已是另一个设备, 未去动它)</source>
        <translation>Device disconnected (another device at this path, left alone)</translation>
    </message>
    <message>
        <source>串口 %1 不存在. 请检查适配器是否已插好, 然后点击状态栏右侧的串口名 (或按 Ctrl+P) 选择串口.</source>
        <translation>Serial port %1 does not exist. Check that the adapter is plugged in, then click the port name at the right of the status line (or press Ctrl+P) to choose a port.</translation>
    </message>
    <message>
        <source>%1 是终端, 不是串口适配器; 读取它会占用这个终端. 请点击状态栏右侧的串口名 (或按 Ctrl+P) 选择串口适配器.</source>
        <translation>%1 is a terminal, not a serial adapter; reading it would take over that terminal. Click the port name at the right of the status line (or press Ctrl+P) to choose the serial adapter.</translation>
    </message>
    <message>
        <source>%1 是系统控制台: 内核在这里输出消息, 也可能有人在此登录, 所以从不打开它. 请点击状态栏右侧的串口名 (或按 Ctrl+P) 选择串口适配器.</source>
        <translation>%1 is the system console: the kernel writes its messages there and someone may be logged in on it, so it is never opened. Click the port name at the right of the status line (or press Ctrl+P) to choose the serial adapter.</translation>
    </message>
    <message>
        <source>设备路径超过了本系统允许的长度. 请在串口列表 (Ctrl+P) 中选择设备的短名称.</source>
        <translation>The device path is longer than this system allows. Choose the device&apos;s short name in the port list (Ctrl+P).</translation>
    </message>
    <message>
        <source>丢弃 RS-485 回波</source>
        <translation>Drop the RS-485 echo</translation>
    </message>
    <message>
        <source>应答超时 (毫秒, %1 到 %2):</source>
        <translation>Reply time-out (ms, %1 to %2):</translation>
    </message>
    <message>
        <source>应答超时</source>
        <translation>Reply time-out</translation>
    </message>
    <message>
        <source>数值先保留, 恢复后发送</source>
        <translation>values are kept and sent when it is back</translation>
    </message>
    <message>
        <source>连接被拒绝: 代理是否在运行, 并在该端口监听?</source>
        <translation>connection refused: is the broker running and listening on that port?</translation>
    </message>
    <message>
        <source>主机名 %1 未知: 请检查代理地址</source>
        <translation>host name %1 not found: check the broker address</translation>
    </message>
    <message>
        <source>登录被拒绝: 请检查代理地址中的用户名和密码</source>
        <translation>login refused: check the user name in the broker address and the password</translation>
    </message>
    <message>
        <source>TLS 失败: 请检查 CA 证书, 以及代理在该端口是否使用 TLS</source>
        <translation>TLS failed: check the CA certificate, and that the broker speaks TLS on that port</translation>
    </message>
    <message>
        <source>10 s 内无应答: 请检查地址, 端口和防火墙</source>
        <translation>no answer within 10 s: check the address, the port and the firewall</translation>
    </message>
    <message>
        <source>连接已断开</source>
        <translation>connection lost</translation>
    </message>
    <message>
        <source>MQTT 代理 %1 无法连接: %2; %3</source>
        <translation>MQTT broker %1 unreachable: %2; %3</translation>
    </message>
    <message>
        <source>地址须以 mqtt:// 或 mqtts:// 开头, 例如 mqtt://broker.example:1883/plant/kvp</source>
        <translation>the address must begin with mqtt:// or mqtts://, e.g. mqtt://broker.example:1883/plant/kvp</translation>
    </message>
    <message>
        <source>主机后面须有主题前缀, 例如 mqtt://主机/plant/kvp</source>
        <translation>a topic prefix must follow the host, e.g. mqtt://HOST/plant/kvp</translation>
    </message>
    <message>
        <source>&apos;@&apos; 前面没有用户名</source>
        <translation>there is an &apos;@&apos; but no user name before it</translation>
    </message>
    <message>
        <source>IPv6 地址缺少结尾的 &apos;]&apos;</source>
        <translation>the IPv6 address lacks its closing &apos;]&apos;</translation>
    </message>
    <message>
        <source>IPv6 地址后面有 %1; 端口写作 ]:端口</source>
        <translation>there is %1 after the IPv6 address; a port is written ]:PORT</translation>
    </message>
    <message>
        <source>&apos;:&apos; 后面没有端口</source>
        <translation>there is a &apos;:&apos; but no port after it</translation>
    </message>
    <message>
        <source>缺少主机名或地址, 例如 mqtt://127.0.0.1/plant/kvp</source>
        <translation>a host name or address is missing, e.g. mqtt://127.0.0.1/plant/kvp</translation>
    </message>
    <message>
        <source>主机名 %1 无效</source>
        <translation>%1 is no valid host name</translation>
    </message>
    <message>
        <source>端口须是 1 到 65535 之间的数字, 而不是 %1</source>
        <translation>the port must be a number from 1 to 65535, not %1</translation>
    </message>
    <message>
        <source>主题前缀 %1 须由单个 &apos;/&apos; 分隔的层级组成, 不含 &apos;+&apos;, &apos;#&apos;, 两端不带 &apos;/&apos; (密码中的 &apos;/&apos; 写作 %2F)</source>
        <translation>the topic prefix %1 must be levels separated by single &apos;/&apos;, without &apos;+&apos;, &apos;#&apos; or a &apos;/&apos; at either end (a &apos;/&apos; in a password is written %2F)</translation>
    </message>
    <message>
        <source>无法保存 %1 (%2). 请选择另一个文件.</source>
        <translation>Cannot save %1 (%2). Choose another file.</translation>
    </message>
    <message>
        <source>应答残缺: 可能有两个模块使用同一地址 (冲突), 或线路丢失字节</source>
        <translation>Replies garbled, cut short: two modules may share this address (a collision), or the line loses bytes</translation>
    </message>
</context>
<context>
    <name>kvp::FindModuleDialog</name>
    <message>
        <source>查找模块</source>
        <translation>Find module</translation>
    </message>
    <message>
        <source>使用此地址</source>
        <translation>Use this address</translation>
    </message>
    <message>
        <source>串口未打开: 无法查找模块</source>
        <translation>The serial port is not open: cannot look for modules</translation>
    </message>
    <message>
        <source>正在连接串口服务器: 连接后再查找模块</source>
        <translation>Connecting to the serial server: look for modules once it is connected</translation>
    </message>
    <message>
        <source>正在询问地址 %1 …</source>
        <translation>Asking address %1 …</translation>
    </message>
    <message>
        <source>地址 %1:  %2</source>
        <translation>Address %1:  %2</translation>
    </message>
    <message numerus="yes">
        <source>已取消; 找到 %n 个模块</source>
        <translation>
            <numerusform>Cancelled; found %n module</numerusform>
            <numerusform>Cancelled; found %n modules</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>找到 %n 个模块</source>
        <translation>
            <numerusform>Found %n module</numerusform>
            <numerusform>Found %n modules</numerusform>
        </translation>
    </message>
    <message>
        <source>地址 %1 的应答校验错误: 检查接线, 或试试回波处理</source>
        <translation>Answers from address %1 failed their check byte: check the wiring, or try the echo handling</translation>
    </message>
    <message>
        <source>地址 %1 的应答晚于超时: 请加大超时</source>
        <translation>Answers from address %1 came after the time-out: choose a longer time-out</translation>
    </message>
    <message>
        <source>每个地址都有应答: 可能是不看地址的模块, 或线路回波</source>
        <translation>Every address answered: a module that ignores the address, or an echo on the line</translation>
    </message>
    <message>
        <source>读取全部找到的</source>
        <translation>Read all found</translation>
    </message>
    <message>
        <source>把找到的地址全部放入模块列表, 并按顺序读取它们</source>
        <translation>Put every address found into the module list and read them in turn</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>%1   (计数 %2)</source>
        <translation>%1   (count %2)</translation>
    </message>
    <message>
        <source>地址 %1 再次询问时才应答: 模块或线路会丢失应答, 检查接线; 这样的模块也可能漏掉, 可再查找一次</source>
        <translation>Address %1 answered only when asked again: the module or the line loses replies, check the wiring; such a module can also be missed, so search again</translation>
    </message>
    <message>
        <source>没有模块应答 (地址 0 到 31): 检查接线和模块的电源, 或选择另一个串口 (Ctrl+P)</source>
        <translation>No module answered (addresses 0 to 31): check the wiring and the module&apos;s power, or choose another serial port (Ctrl+P)</translation>
    </message>
</context>
<context>
    <name>kvp::LineDetails</name>
    <message>
        <source>线路通信…</source>
        <translation>Line traffic…</translation>
    </message>
    <message>
        <source>最近 %1 条命令和应答 (Ctrl+M)</source>
        <translation>The last %1 commands and replies (Ctrl+M)</translation>
    </message>
    <message>
        <source>%1/s</source>
        <translation>%1/s</translation>
    </message>
    <message>
        <source> · 超时 %1</source>
        <translation> · %1 time-outs</translation>
    </message>
    <message>
        <source> · 校验 %1</source>
        <translation> · %1 bad checks</translation>
    </message>
    <message>
        <source>每秒 %1 个数值, %2 次超时, %3 次校验错误</source>
        <translation>%1 values per second, %2 time-outs, %3 bad check bytes</translation>
    </message>
</context>
<context>
    <name>kvp::ModuleListPanel</name>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>数值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>State</translation>
    </message>
    <message>
        <source>应答时间</source>
        <translation>Reply time</translation>
    </message>
    <message>
        <source>数值年龄</source>
        <translation>Age</translation>
    </message>
    <message>
        <source>移除地址 %1</source>
        <translation>Remove address %1</translation>
    </message>
    <message>
        <source>要加入列表的模块地址 (0 ~ 31)</source>
        <translation>Address of the module to add to the list (0 to 31)</translation>
    </message>
    <message>
        <source>添加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>把地址加入列表; 列表有两个以上模块时, 读取按顺序询问它们</source>
        <translation>Add the address to the list; with two or more modules in the list, Read asks them in turn</translation>
    </message>
    <message>
        <source>移除</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>从列表中移除选中的模块 (Delete)</source>
        <translation>Remove the selected module from the list (Delete)</translation>
    </message>
    <message>
        <source>模块:</source>
        <translation>Module:</translation>
    </message>
    <message>
        <source>实时</source>
        <translation>live</translation>
    </message>
    <message>
        <source>过时</source>
        <translation>stale</translation>
    </message>
    <message>
        <source>无应答</source>
        <translation>no answer</translation>
    </message>
    <message>
        <source>单击一行, 上面显示它的数值; Delete 移除</source>
        <translation>Click a row to show its value above; Delete removes it</translation>
    </message>
    <message>
        <source>模块列表</source>
        <translation>Module list</translation>
    </message>
    <message>
        <source>要加入列表的地址</source>
        <translation>Address to add to the list</translation>
    </message>
    <message>
        <source>无应答, %1 秒后再问</source>
        <translation>silent, next ask in %1 s</translation>
    </message>
    <message>
        <source>应答太迟, %1 秒后再问</source>
        <translation>late, next ask in %1 s</translation>
    </message>
    <message>
        <source>应答太迟</source>
        <translation>late</translation>
    </message>
</context>
<context>
    <name>kvp::MqttControl</name>
    <message>
        <source>MQTT 发布…</source>
        <translation>MQTT publishing…</translation>
    </message>
    <message>
        <source>MQTT 关闭</source>
        <translation>MQTT off</translation>
    </message>
    <message>
        <source>MQTT 已连接</source>
        <translation>MQTT connected</translation>
    </message>
    <message>
        <source>MQTT 连接中</source>
        <translation>MQTT connecting</translation>
    </message>
    <message>
        <source>MQTT 重连中</source>
        <translation>MQTT reconnecting</translation>
    </message>
</context>
<context>
    <name>kvp::MqttDialog</name>
    <message>
        <source>MQTT 发布</source>
        <translation>MQTT publishing</translation>
    </message>
    <message>
        <source>不保存</source>
        <translation>not saved</translation>
    </message>
    <message>
        <source>仅 mqtts://; 空: 系统证书</source>
        <translation>mqtts:// only; empty: the system&apos;s</translation>
    </message>
    <message>
        <source>浏览…</source>
        <translation>Browse…</translation>
    </message>
    <message>
        <source>CA 证书</source>
        <translation>CA certificate</translation>
    </message>
    <message>
        <source>证书 (*.pem *.crt);;所有文件 (*)</source>
        <translation>Certificates (*.pem *.crt);;All files (*)</translation>
    </message>
    <message>
        <source>代理地址:</source>
        <translation>Broker URL:</translation>
    </message>
    <message>
        <source>密码:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>CA 证书:</source>
        <translation>CA certificate:</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>断开</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>地址无效: %1</source>
        <translation>Invalid URL: %1</translation>
    </message>
</context>
<context>
    <name>kvp::ReadoutDialog</name>
    <message>
        <source>地址 %1 的单位和限值</source>
        <translation>Units and limits of address %1</translation>
    </message>
    <message>
        <source>显示值 = 计数 × 比例 + 偏移; 小数点用 &apos;.&apos;</source>
        <translation>value shown = count × scale + offset; &apos;.&apos; as the decimal point</translation>
    </message>
    <message>
        <source>加到每个乘过比例的值上</source>
        <translation>added to each scaled value</translation>
    </message>
    <message>
        <source>如 kg, N, °C; 显示在数值后面</source>
        <translation>e.g. kg, N, °C; shown after the value</translation>
    </message>
    <message>
        <source>空: 无下限</source>
        <translation>empty: no low limit</translation>
    </message>
    <message>
        <source>空: 无上限</source>
        <translation>empty: no high limit</translation>
    </message>
    <message>
        <source>恢复为计数</source>
        <translation>Back to counts</translation>
    </message>
    <message>
        <source>比例:</source>
        <translation>Scale:</translation>
    </message>
    <message>
        <source>偏移:</source>
        <translation>Offset:</translation>
    </message>
    <message>
        <source>小数位:</source>
        <translation>Decimals:</translation>
    </message>
    <message>
        <source>单位:</source>
        <translation>Unit:</translation>
    </message>
    <message>
        <source>下限:</source>
        <translation>Low limit:</translation>
    </message>
    <message>
        <source>上限:</source>
        <translation>High limit:</translation>
    </message>
    <message>
        <source>回差:</source>
        <translation>Deadband:</translation>
    </message>
    <message>
        <source>超限的值回到限值以内这么多才算恢复; 0: 立即</source>
        <translation>a value beyond a limit is back within only once it is this far inside it; 0: at once</translation>
    </message>
    <message>
        <source>回差</source>
        <translation>The deadband</translation>
    </message>
    <message>
        <source>回差不能为负</source>
        <translation>The deadband cannot be negative</translation>
    </message>
    <message>
        <source>须是数字, 如 0.001, -12.5 或 1e-3 (小数点用 &apos;.&apos;, 最多 %1 位)</source>
        <translation> must be a number such as 0.001, -12.5 or 1e-3 (&apos;.&apos; as the point, at most %1 digits)</translation>
    </message>
    <message>
        <source>比例</source>
        <translation>The scale</translation>
    </message>
    <message>
        <source>比例不能为 0: 每个值都会显示为偏移</source>
        <translation>The scale cannot be 0: every value would show as the offset</translation>
    </message>
    <message>
        <source>偏移</source>
        <translation>The offset</translation>
    </message>
    <message>
        <source>下限</source>
        <translation>The low limit</translation>
    </message>
    <message>
        <source>上限</source>
        <translation>The high limit</translation>
    </message>
    <message>
        <source>下限高于上限: 每个值都会超限</source>
        <translation>The low limit is above the high limit: every value would be out of limits</translation>
    </message>
    <message>
        <source>例: 计数 %1 显示为 %2</source>
        <translation>e.g. the count %1 shows as %2</translation>
    </message>
</context>
<context>
    <name>kvp::RecordingControl</name>
    <message>
        <source>记录到 CSV 文件</source>
        <translation>Record to a CSV file</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message numerus="yes">
        <source>已记录 %n 行到 %1</source>
        <translation>
            <numerusform>%n row recorded to %1</numerusform>
            <numerusform>%n rows recorded to %1</numerusform>
        </translation>
    </message>
    <message>
        <source>记录已停止: %1</source>
        <translation>Recording stopped: %1</translation>
    </message>
    <message>
        <source>停止记录</source>
        <translation>Stop recording</translation>
    </message>
    <message>
        <source>开始记录…</source>
        <translation>Record…</translation>
    </message>
    <message>
        <source>● %1: %2 行</source>
        <translation>● %1: %2 rows</translation>
    </message>
</context>
<context>
    <name>kvp::TrafficView</name>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>线路通信</source>
        <translation>Line traffic</translation>
    </message>
    <message>
        <source>列表不再更新, 读取继续</source>
        <translation>The list stops updating; reading goes on</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>字节 (十六进制)</source>
        <translation>Bytes (hex)</translation>
    </message>
    <message>
        <source>判断</source>
        <translation>Verdict</translation>
    </message>
    <message>
        <source>→ 发送</source>
        <translation>→ sent</translation>
    </message>
    <message>
        <source>数值正确</source>
        <translation>good value</translation>
    </message>
    <message>
        <source>超时, 无应答</source>
        <translation>time-out, no answer</translation>
    </message>
    <message>
        <source>校验错误</source>
        <translation>bad check byte</translation>
    </message>
    <message>
        <source>结尾与先前不同</source>
        <translation>bad trailing bytes</translation>
    </message>
    <message>
        <source>应答不完整</source>
        <translation>short reply</translation>
    </message>
    <message>
        <source>晚于超时, 已丢弃</source>
        <translation>late, thrown away</translation>
    </message>
    <message>
        <source>模块确认设置</source>
        <translation>set-up acknowledged</translation>
    </message>
    <message>
        <source>无人询问, 已丢弃</source>
        <translation>not asked for, thrown away</translation>
    </message>
    <message numerus="yes">
        <source> … 共 %n 字节</source>
        <translation>
            <numerusform> … %n byte in all</numerusform>
            <numerusform> … %n bytes in all</numerusform>
        </translation>
    </message>
    <message>
        <source>数值 %1 (%2/s) · 超时 %3 · 校验错误 %4 · 结尾不符 %5 · 不完整 %6 · 迟到 %7 · 丢弃 %8 字节</source>
        <translation>Values %1 (%2/s) · time-outs %3 · bad check bytes %4 · bad trailing bytes %5 · short %6 · late %7 · %8 bytes thrown away</translation>
    </message>
</context>
<context>
    <name>kvp::TrendControls</name>
    <message>
        <source>显示的时间跨度</source>
        <translation>The span of time shown</translation>
    </message>
    <message>
        <source>全部模块</source>
        <translation>All modules</translation>
    </message>
    <message>
        <source>此模块</source>
        <translation>This module</translation>
    </message>
    <message>
        <source>模块列表中每个模块一条线, 或只显示地址框中的模块</source>
        <translation>A line for each module in the module list, or only the module in the address box</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>冻结图形; 读取继续</source>
        <translation>Freeze the chart; reading goes on</translation>
    </message>
    <message>
        <source>保存 PNG…</source>
        <translation>Save PNG…</translation>
    </message>
    <message>
        <source>把显示的跨度保存为图片</source>
        <translation>Save the span shown as a picture</translation>
    </message>
    <message>
        <source>保存 CSV…</source>
        <translation>Save CSV…</translation>
    </message>
    <message>
        <source>把显示的跨度保存为 CSV: 每段的最小值, 最大值, 平均值和个数</source>
        <translation>Save the span shown as CSV: the minimum, maximum, mean and count of each stretch</translation>
    </message>
    <message>
        <source>显示的模块</source>
        <translation>Modules shown</translation>
    </message>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>继续</source>
        <translation>Resume</translation>
    </message>
</context>
<context>
    <name>kvp::TrendPanel</name>
    <message>
        <source>趋势图无法显示: 无法加载 %1 (%2). 请重新安装 kvp-reader.</source>
        <translation>The trend chart cannot be shown: cannot load %1 (%2). Please reinstall kvp-reader.</translation>
    </message>
    <message>
        <source>时间 (秒)</source>
        <translation>Time (s)</translation>
    </message>
    <message>
        <source>数值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>数值 (%1)</source>
        <translation>Value (%1)</translation>
    </message>
    <message>
        <source>地址及其线条的颜色</source>
        <translation>Addresses and the colours of their lines</translation>
    </message>
    <message>
        <source>趋势图</source>
        <translation>Trend chart</translation>
    </message>
</context>
<context>
    <name>kvp::UnitsAndLimits</name>
    <message>
        <source>单位和限值…</source>
        <translation>Units and limits…</translation>
    </message>
    <message>
        <source>查询间隔…</source>
        <translation>Poll interval…</translation>
    </message>
    <message>
        <source>地址 %1 的单位和限值…</source>
        <translation>Units and limits of address %1…</translation>
    </message>
    <message>
        <source>查询间隔</source>
        <translation>Poll interval</translation>
    </message>
    <message>
        <source>查询间隔 (毫秒, 0 到 %1; 0 = 模块一应答就再问):</source>
        <translation>Poll interval (ms, 0 to %1; 0 = ask again as soon as the module answers):</translation>
    </message>
</context>
<context>
    <name>kvp::ValueMeter</name>
    <message>
        <source>全屏显示数值</source>
        <translation>Value full screen</translation>
    </message>
    <message>
        <source>只显示数值, 全屏 (F11; F11 或 Esc 返回)</source>
        <translation>The value alone, full screen (F11; F11 or Esc returns)</translation>
    </message>
</context>
<context>
    <name>kvp::ValueView</name>
    <message>
        <source>%1 (过时)</source>
        <translation>%1 (stale)</translation>
    </message>
</context>
<context>
    <name>kvp::WindowExtras</name>
    <message>
        <source>趋势</source>
        <translation>Trend</translation>
    </message>
    <message>
        <source>开始记录…</source>
        <translation>Record…</translation>
    </message>
    <message>
        <source>复制数值</source>
        <translation>Copy value</translation>
    </message>
    <message>
        <source>复制数值和时间</source>
        <translation>Copy value and time</translation>
    </message>
    <message>
        <source>查找模块…</source>
        <translation>Find module…</translation>
    </message>
    <message>
        <source>模块</source>
        <translation>Modules</translation>
    </message>
    <message>
        <source>趋势图缺失</source>
        <translation>Trend chart missing</translation>
    </message>
    <message>
        <source>没有可复制的数值: 模块应答后再复制</source>
        <translation>No value to copy: copy once the module has answered</translation>
    </message>
</context>
</TS>
