<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>orunapp</name>
    <message>
        <source>未使用的硬件解码: %1</source>
        <translation>Hardware decoding not used: %1</translation>
    </message>
    <message>
        <source>(已更换 %1 次)</source>
        <translation>(replaced %1 times)</translation>
    </message>
    <message>
        <source>,因磁盘太慢缺失 %1 秒</source>
        <translation>, %1 s missing where the disk was too slow</translation>
    </message>
    <message>
        <source>:响应包出现数据域长度错误</source>
        <translation>: reply packet has a wrong data length</translation>
    </message>
    <message>
        <source>AI通信失败</source>
        <translation>AI communication failed</translation>
    </message>
    <message>
        <source>EEPROM 自检失败</source>
        <translation>EEPROM self-test failed</translation>
    </message>
    <message>
        <source>LCA 未初识化完成</source>
        <translation>LCA not initialized yet</translation>
    </message>
    <message>
        <source>LCA 正在处理上一条命令</source>
        <translation>LCA is busy with the previous command</translation>
    </message>
    <message>
        <source>OBS:添加“媒体源”,取消“本地文件”,输入 %1
播放器:ffplay %1</source>
        <translation>OBS: add a “Media Source”, untick “Local File” and enter %1
Players: ffplay %1</translation>
    </message>
    <message>
        <source>RTMP 推流(直播平台)</source>
        <translation>RTMP push (streaming services)</translation>
    </message>
    <message>
        <source>SD卡内存已满</source>
        <translation>SD card full</translation>
    </message>
    <message>
        <source>SD卡写保护</source>
        <translation>SD card write-protected</translation>
    </message>
    <message>
        <source>SD卡初始化中</source>
        <translation>Initializing SD card</translation>
    </message>
    <message>
        <source>SD卡文件系统不支持,请格式化</source>
        <translation>SD card file system not supported, please format</translation>
    </message>
    <message>
        <source>SD卡文件系统错误,请格式化</source>
        <translation>SD card file system error, please format</translation>
    </message>
    <message>
        <source>SD卡格式化中</source>
        <translation>Formatting SD card</translation>
    </message>
    <message>
        <source>SD卡类型不支持,请更换</source>
        <translation>SD card type not supported, please replace</translation>
    </message>
    <message>
        <source>SD卡读写错误,请重启ZORBEX</source>
        <translation>SD card read/write error, please restart ZORBEX</translation>
    </message>
    <message>
        <source>SD卡错误,请格式化</source>
        <translation>SD card error, please format</translation>
    </message>
    <message>
        <source>SRT 监听(OBS、播放器)</source>
        <translation>SRT listener (OBS, players)</translation>
    </message>
    <message>
        <source>Sensor错误</source>
        <translation>Sensor error</translation>
    </message>
    <message>
        <source>UDP 发送(MPEG-TS)</source>
        <translation>UDP (MPEG-TS)</translation>
    </message>
    <message>
        <source>Wifi名称过长,最多32个字节(一个汉字占3个字节)</source>
        <translation>Wi-Fi name too long: at most 32 bytes (a Chinese character takes 3 bytes)</translation>
    </message>
    <message>
        <source>Wifi密码过长,最多32个字节(一个汉字占3个字节)</source>
        <translation>Wi-Fi password too long: at most 32 bytes (a Chinese character takes 3 bytes)</translation>
    </message>
    <message>
        <source>Wifi模式</source>
        <translation>Wi-Fi mode</translation>
    </message>
    <message>
        <source>Wifi连接模式:</source>
        <translation>Wi-Fi connection mode:</translation>
    </message>
    <message>
        <source>wifi名称:</source>
        <translation>Wi-Fi name:</translation>
    </message>
    <message>
        <source>上一帧 %1 秒前</source>
        <translation>Last picture %1 s ago</translation>
    </message>
    <message>
        <source>丢弃 队列满 %1 · 渲染忙 %2 · 解码错误 %3</source>
        <translation>Dropped: queue full %1 · render busy %2 · decode error %3</translation>
    </message>
    <message>
        <source>不是文件夹</source>
        <translation>not a folder</translation>
    </message>
    <message>
        <source>主动推送设置WifiMode</source>
        <translation>Camera pushed Wi-Fi mode setting</translation>
    </message>
    <message>
        <source>云台摇杆</source>
        <translation>Gimbal joystick</translation>
    </message>
    <message>
        <source>云台通信失败</source>
        <translation>Gimbal communication failed</translation>
    </message>
    <message>
        <source>云台锁定</source>
        <translation>Gimbal lock</translation>
    </message>
    <message>
        <source>云台锁定/解锁</source>
        <translation>Lock or free the gimbal</translation>
    </message>
    <message>
        <source>云台锁定后将不再跟踪</source>
        <translation>Tracking stops while the gimbal is locked</translation>
    </message>
    <message>
        <source>停止电脑录像</source>
        <translation>Stop recording on this PC</translation>
    </message>
    <message>
        <source>全屏</source>
        <translation>Full screen</translation>
    </message>
    <message>
        <source>全屏/退出全屏</source>
        <translation>Enter or leave full screen</translation>
    </message>
    <message>
        <source>关于本机</source>
        <translation>About</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>关闭会话命令(stop)</source>
        <translation>Close session command (stop)</translation>
    </message>
    <message>
        <source>切换拍照/录像模式</source>
        <translation>Switch between photo and video mode</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>单拍</source>
        <translation>Single</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>变焦</source>
        <translation>Zoom</translation>
    </message>
    <message>
        <source>只读文件系统</source>
        <translation>read-only file system</translation>
    </message>
    <message>
        <source>图传分辨率:</source>
        <translation>Video resolution:</translation>
    </message>
    <message>
        <source>图像比例:</source>
        <translation>Photo ratio:</translation>
    </message>
    <message>
        <source>图像自检失败</source>
        <translation>Image self-test failed</translation>
    </message>
    <message>
        <source>在电脑上保存当前画面</source>
        <translation>Save the current picture on this PC</translation>
    </message>
    <message>
        <source>在电脑上开始/停止录像</source>
        <translation>Start or stop recording on this PC</translation>
    </message>
    <message>
        <source>在电脑上录制相机的画面(不重新编码)</source>
        <translation>Record the camera's video on this PC, not re-encoded</translation>
    </message>
    <message>
        <source>地址:</source>
        <translation>Address:</translation>
    </message>
    <message>
        <source>地址应为 rtmp:// 开头的推流地址</source>
        <translation>The address must be an rtmp:// URL</translation>
    </message>
    <message>
        <source>地址应为 主机:端口,例如 127.0.0.1:9710</source>
        <translation>The address must be HOST:PORT, e.g. 127.0.0.1:9710</translation>
    </message>
    <message>
        <source>多拍</source>
        <translation>Multi-shot</translation>
    </message>
    <message>
        <source>媒体链路重连中…(第 %1 次)</source>
        <translation>Media link reconnecting… (attempt %1)</translation>
    </message>
    <message>
        <source>媒体错误</source>
        <translation>Media error</translation>
    </message>
    <message>
        <source>存储系统加载失败,请重新插入SD卡</source>
        <translation>Storage failed to load, please reinsert the SD card</translation>
    </message>
    <message>
        <source>密码:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>对焦结果不可用，重装 sensor</source>
        <translation>Focus result unavailable, reinstall the sensor</translation>
    </message>
    <message>
        <source>尚无画面</source>
        <translation>No picture yet</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>应用</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>开启会话命令(start)</source>
        <translation>Open session command (start)</translation>
    </message>
    <message>
        <source>开始直播输出:%1</source>
        <translation>Start live output: %1</translation>
    </message>
    <message>
        <source>开机默认横竖屏:</source>
        <translation>Orientation at power-on:</translation>
    </message>
    <message>
        <source>当前连接:%1(热点模式)</source>
        <translation>Current connection: %1 (hotspot mode)</translation>
    </message>
    <message>
        <source>当前连接:%1(站点模式)</source>
        <translation>Current connection: %1 (station mode)</translation>
    </message>
    <message>
        <source>当前连接:未连接(热点模式)</source>
        <translation>Current connection: not connected (hotspot mode)</translation>
    </message>
    <message>
        <source>当前连接:未连接(站点模式)</source>
        <translation>Current connection: not connected (station mode)</translation>
    </message>
    <message>
        <source>录像 丢弃 %1 帧,缺失 %2 秒</source>
        <translation>Recording: %1 dropped, %2 s missing</translation>
    </message>
    <message>
        <source>往返时间 %1 ms (控制链路探测)</source>
        <translation>Round trip %1 ms (control link probe)</translation>
    </message>
    <message>
        <source>快门</source>
        <translation>Shutter</translation>
    </message>
    <message>
        <source>快门(当前模式)</source>
        <translation>Shutter of the current mode</translation>
    </message>
    <message>
        <source>打开设置</source>
        <translation>Open the settings</translation>
    </message>
    <message>
        <source>录像已保存:%1</source>
        <translation>Recording saved: %1</translation>
    </message>
    <message>
        <source>录像文件夹:</source>
        <translation>Recording folder:</translation>
    </message>
    <message>
        <source>录像无法写入 %1:%2</source>
        <translation>Recording could not be written to %1: %2</translation>
    </message>
    <message>
        <source>录像格式:</source>
        <translation>Recording format:</translation>
    </message>
    <message>
        <source>录制与直播</source>
        <translation>Capture</translation>
    </message>
    <message>
        <source>截图包含目标框</source>
        <translation>Snapshots include the subject boxes</translation>
    </message>
    <message>
        <source>截图已保存:%1</source>
        <translation>Snapshot saved: %1</translation>
    </message>
    <message>
        <source>截图文件夹:</source>
        <translation>Snapshot folder:</translation>
    </message>
    <message>
        <source>截图无法保存到 %1:%2</source>
        <translation>Snapshot could not be saved to %1: %2</translation>
    </message>
    <message>
        <source>截图格式:</source>
        <translation>Snapshot format:</translation>
    </message>
    <message>
        <source>把当前画面保存为图片(在电脑上)</source>
        <translation>Save the current picture as an image on this PC</translation>
    </message>
    <message>
        <source>拍照</source>
        <translation>Photo</translation>
    </message>
    <message>
        <source>拍照/录像</source>
        <translation>Photo/Video</translation>
    </message>
    <message>
        <source>拍照模式</source>
        <translation>Photo mode</translation>
    </message>
    <message>
        <source>拍照设置</source>
        <translation>Photo settings</translation>
    </message>
    <message>
        <source>拍照超时</source>
        <translation>Photo timed out</translation>
    </message>
    <message>
        <source>按住转动云台</source>
        <translation>Turn the gimbal while held</translation>
    </message>
    <message>
        <source>按钮设置</source>
        <translation>Button settings</translation>
    </message>
    <message>
        <source>放大一级</source>
        <translation>Zoom in one step</translation>
    </message>
    <message>
        <source>推流</source>
        <translation>Live Out</translation>
    </message>
    <message>
        <source>摄像头</source>
        <translation>Webcam</translation>
    </message>
    <message>
        <source>作为摄像头提供给会议程序、浏览器和 OBS</source>
        <translation>Offer as a webcam to meeting programs, browsers and OBS</translation>
    </message>
    <message>
        <source>作为摄像头提供中,等待其他程序读取(点击停止)</source>
        <translation>Offered as a webcam, waiting for a program to read it (click to stop)</translation>
    </message>
    <message>
        <source>有程序正在读取摄像头(点击停止)</source>
        <translation>A program is reading the webcam (click to stop)</translation>
    </message>
    <message>
        <source>作为摄像头提供给其他程序/停止</source>
        <translation>Offer as a webcam to other programs / stop</translation>
    </message>
    <message>
        <source>摄像头:</source>
        <translation>Webcam:</translation>
    </message>
    <message>
        <source>程序启动时作为摄像头提供(orunapp 摄像头)</source>
        <translation>Offer as a webcam when the program starts (orunapp camera)</translation>
    </message>
    <message>
        <source>此系统上还不能作为摄像头使用</source>
        <translation>The pictures cannot be offered as a webcam on this system yet</translation>
    </message>
    <message>
        <source>无法作为摄像头使用:没有运行中的 PipeWire 服务</source>
        <translation>The webcam could not start: no PipeWire service is running</translation>
    </message>
    <message>
        <source>摄像头输出已停止:PipeWire 服务已退出</source>
        <translation>The webcam stopped: the PipeWire service went away</translation>
    </message>
    <message>
        <source>PipeWire(浏览器、OBS、会议程序)</source>
        <translation>PipeWire (browsers, OBS, meeting programs)</translation>
    </message>
    <message>
        <source>启动时开启</source>
        <translation>On at start</translation>
    </message>
    <message>
        <source>V4L2 回环设备(未找到)</source>
        <translation>V4L2 loopback device (none found)</translation>
    </message>
    <message>
        <source>没有 V4L2 回环设备。加载内核模块后重新打开设置:%1</source>
        <translation>No V4L2 loopback device. Load the kernel module, then open the settings again: %1</translation>
    </message>
    <message>
        <source>V4L2:%1(未找到)</source>
        <translation>V4L2: %1 (not found)</translation>
    </message>
    <message>
        <source>无法写入 V4L2 回环设备:%1</source>
        <translation>The V4L2 loopback device could not be written: %1</translation>
    </message>
    <message>
        <source>播放器或 OBS 打开 %1</source>
        <translation>Players and OBS open %1</translation>
    </message>
    <message>
        <source>整机初始化失败</source>
        <translation>Device initialization failed</translation>
    </message>
    <message>
        <source>断流看门狗</source>
        <translation>Stream-stall watchdog</translation>
    </message>
    <message>
        <source>方向键</source>
        <translation>Arrow keys</translation>
    </message>
    <message>
        <source>是否设置为热点模式</source>
        <translation>Switch to hotspot mode?</translation>
    </message>
    <message>
        <source>是否设置为站点模式</source>
        <translation>Switch to station mode?</translation>
    </message>
    <message>
        <source>显示</source>
        <translation>Show</translation>
    </message>
    <message>
        <source>显示/隐藏目标框</source>
        <translation>Show or hide the target boxes</translation>
    </message>
    <message>
        <source>显示/隐藏统计信息</source>
        <translation>Show or hide the statistics</translation>
    </message>
    <message>
        <source>显示密码</source>
        <translation>Show password</translation>
    </message>
    <message>
        <source>显示目标框</source>
        <translation>Show target boxes</translation>
    </message>
    <message>
        <source>智能设置</source>
        <translation>Smart settings</translation>
    </message>
    <message>
        <source>最大化</source>
        <translation>Maximize</translation>
    </message>
    <message>
        <source>最小化</source>
        <translation>Minimize</translation>
    </message>
    <message>
        <source>未插入SD卡</source>
        <translation>No SD card inserted</translation>
    </message>
    <message>
        <source>未连接</source>
        <translation>Not connected</translation>
    </message>
    <message>
        <source>未连接相机</source>
        <translation>No camera linked</translation>
    </message>
    <message>
        <source>横屏</source>
        <translation>Landscape</translation>
    </message>
    <message>
        <source>横竖屏设置:</source>
        <translation>Orientation:</translation>
    </message>
    <message>
        <source>正在切换wifi模式...</source>
        <translation>Switching Wi-Fi mode...</translation>
    </message>
    <message>
        <source>正在连接媒体链路…(第 %1 次)</source>
        <translation>Connecting the media link… (attempt %1)</translation>
    </message>
    <message>
        <source>没有写入权限</source>
        <translation>no permission to write</translation>
    </message>
    <message>
        <source>没有可保存的画面</source>
        <translation>No picture to save</translation>
    </message>
    <message>
        <source>浏览...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>热点模式</source>
        <translation>Hotspot mode</translation>
    </message>
    <message>
        <source>电池容量不足,将自动关机</source>
        <translation>Battery low, shutting down automatically</translation>
    </message>
    <message>
        <source>电池通信失败</source>
        <translation>Battery communication failed</translation>
    </message>
    <message>
        <source>电脑录像</source>
        <translation>PC Record</translation>
    </message>
    <message>
        <source>电脑截图</source>
        <translation>PC Snapshot</translation>
    </message>
    <message>
        <source>界面按钮设置:</source>
        <translation>Interface buttons:</translation>
    </message>
    <message>
        <source>直播</source>
        <translation>Live</translation>
    </message>
    <message>
        <source>直播平台给出的服务器地址和串流密钥</source>
        <translation>The server URL and stream key your streaming service gives</translation>
    </message>
    <message>
        <source>串流密钥:</source>
        <translation>Stream key:</translation>
    </message>
    <message>
        <source>SRT 密码:</source>
        <translation>SRT passphrase:</translation>
    </message>
    <message>
        <source>地址中的选项 %1 无法识别</source>
        <translation>The address has an option this output does not know: %1</translation>
    </message>
    <message>
        <source>密码应为 10 到 79 个字符</source>
        <translation>The passphrase needs 10 to 79 characters</translation>
    </message>
    <message>
        <source>直播输出 丢弃 %1 帧</source>
        <translation>Live output: %1 dropped</translation>
    </message>
    <message>
        <source>直播输出:</source>
        <translation>Live output:</translation>
    </message>
    <message>
        <source>直播输出中:%1(点击停止)</source>
        <translation>Live output on: %1 (click to stop)</translation>
    </message>
    <message>
        <source>直播输出无法打开 %1:%2</source>
        <translation>Live output could not open %1: %2</translation>
    </message>
    <message>
        <source>相册</source>
        <translation>Album</translation>
    </message>
    <message>
        <source>相机列表</source>
        <translation>Cameras found</translation>
    </message>
    <message>
        <source>相机开始/停止录像</source>
        <translation>Start or stop the camera's recording</translation>
    </message>
    <message>
        <source>相机未连接,设置为热点模式成功</source>
        <translation>Camera not connected, hotspot mode set</translation>
    </message>
    <message>
        <source>相机未连接,设置为站点模式成功</source>
        <translation>Camera not connected, station mode set</translation>
    </message>
    <message>
        <source>相机设置</source>
        <translation>Camera settings</translation>
    </message>
    <message>
        <source>码率 %1 Mbit/s · 解码器 %2, %3 ms/帧</source>
        <translation>Bit rate %1 Mbit/s · decoder %2, %3 ms per picture</translation>
    </message>
    <message>
        <source>硬件解码(自动)</source>
        <translation>Hardware decoding (automatic)</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>磁盘已满</source>
        <translation>the disk is full</translation>
    </message>
    <message>
        <source>竖屏</source>
        <translation>Portrait</translation>
    </message>
    <message>
        <source>站点模式</source>
        <translation>Station mode</translation>
    </message>
    <message>
        <source>等待相机</source>
        <translation>waiting for the camera</translation>
    </message>
    <message>
        <source>等线</source>
        <translation>DengXian</translation>
    </message>
    <message>
        <source>统计信息</source>
        <translation>Statistics</translation>
    </message>
    <message>
        <source>缩小一级</source>
        <translation>Zoom out one step</translation>
    </message>
    <message>
        <source>视频</source>
        <translation>Video</translation>
    </message>
    <message>
        <source>视频 %1 · 接收 %2 · 解码 %3 · 显示 %4 帧/秒</source>
        <translation>Video %1 · received %2 · decoded %3 · shown %4 fps</translation>
    </message>
    <message>
        <source>视频解码:</source>
        <translation>Video decoding:</translation>
    </message>
    <message>
        <source>视频设置</source>
        <translation>Video settings</translation>
    </message>
    <message>
        <source>设备过温,将自动关机</source>
        <translation>Device overheated, shutting down automatically</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>设置Wifi工作模式失败</source>
        <translation>Setting the Wi-Fi mode failed</translation>
    </message>
    <message>
        <source>设置Wifi工作模式成功</source>
        <translation>Wi-Fi mode set</translation>
    </message>
    <message>
        <source>设置为热点模式失败</source>
        <translation>Switching to hotspot mode failed</translation>
    </message>
    <message>
        <source>设置为站点模式失败</source>
        <translation>Switching to station mode failed</translation>
    </message>
    <message>
        <source>设置媒体属性</source>
        <translation>Set media property</translation>
    </message>
    <message>
        <source>设置热点模式请求已发送,提示灯变为蓝色闪烁表示正在切换模式,绿色常亮表示切换成功,如果失败,请重新设置,如果成功,请切换您电脑的Wifi.</source>
        <translation>Hotspot mode request sent. A blinking blue light means the camera is switching, a steady green light means it has switched. If it failed, set it again; if it succeeded, switch your computer's Wi-Fi.</translation>
    </message>
    <message>
        <source>设置站点模式请求已发送,提示灯变为紫色闪烁表示正在切换模式,常亮表示切换成功,如果失败,请检查Wifi名称和密码重新设置,如果成功,请切换您电脑的Wifi.</source>
        <translation>Station mode request sent. A blinking purple light means the camera is switching, a steady light means it has switched. If it failed, check the Wi-Fi name and password and set it again; if it succeeded, switch your computer's Wi-Fi.</translation>
    </message>
    <message>
        <source>语言设置</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>语言设置:</source>
        <translation>Language:</translation>
    </message>
    <message>
        <source>请输入Wifi名称和密码</source>
        <translation>Please enter the Wi-Fi name and password</translation>
    </message>
    <message>
        <source>软件解码</source>
        <translation>Software decoding</translation>
    </message>
    <message>
        <source>还原窗口</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>连拍</source>
        <translation>Burst</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>退出全屏</source>
        <translation>Leave full screen</translation>
    </message>
    <message>
        <source>连接被拒绝</source>
        <translation>connection refused</translation>
    </message>
    <message>
        <source>选择文件夹</source>
        <translation>Choose a folder</translation>
    </message>
    <message>
        <source>通用功能</source>
        <translation>General</translation>
    </message>
    <message>
        <source>通用设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>重启软件生效</source>
        <translation>Takes effect after restarting the software</translation>
    </message>
    <message>
        <source>重连看门狗</source>
        <translation>Reconnect watchdog</translation>
    </message>
    <message>
        <source>链路 丢失 %1 段 (%2%) · 重传 %3 · 重复 %4</source>
        <translation>Link: lost %1 segments (%2 %) · resent %3 · duplicate %4</translation>
    </message>
    <message>
        <source>键盘快捷键</source>
        <translation>Keyboard shortcuts</translation>
    </message>
    <message>
        <source>镜像</source>
        <translation>Mirrored</translation>
    </message>
    <message>
        <source>镜像设置:</source>
        <translation>Mirror:</translation>
    </message>
    <message>
        <source>镜头通信失败</source>
        <translation>Lens communication failed</translation>
    </message>
    <message>
        <source>镜头驱动板启动失败</source>
        <translation>Lens driver board failed to start</translation>
    </message>
    <message>
        <source>隐藏</source>
        <translation>Hide</translation>
    </message>
    <message>
        <source>非镜像</source>
        <translation>Not mirrored</translation>
    </message>
    <message>
        <source>音频</source>
        <translation>Audio</translation>
    </message>
    <message>
        <source>自动连接上次的相机</source>
        <translation>Connect to the last camera automatically</translation>
    </message>
    <message>
        <source>站点模式:搜索到上次连接的相机时自动连接它,无需每次启动后再按“连接”</source>
        <translation>Station mode: link to the camera linked last as soon as the search finds it, without pressing Connect after every start</translation>
    </message>
    <message>
        <source>VISCA 控制无法打开端口:%1</source>
        <translation>VISCA control cannot open its port: %1</translation>
    </message>
    <message>
        <source>VISCA 控制器 %1 · 上次指令 %2 秒前</source>
        <translation>VISCA controller %1 · last command %2 s ago</translation>
    </message>
    <message>
        <source>接受 VISCA over IP 控制(UDP)</source>
        <translation>Take VISCA over IP control (UDP)</translation>
    </message>
    <message>
        <source>监听地址:</source>
        <translation>Listen address:</translation>
    </message>
    <message>
        <source>UDP 端口:</source>
        <translation>UDP port:</translation>
    </message>
    <message>
        <source>同时接受 TCP 上的 VISCA</source>
        <translation>Also take VISCA over TCP</translation>
    </message>
    <message>
        <source>TCP 端口:</source>
        <translation>TCP port:</translation>
    </message>
    <message>
        <source>全部(以逗号分隔的 IPv4 地址)</source>
        <translation>Everyone (IPv4, comma separated)</translation>
    </message>
    <message>
        <source>允许的发送方:</source>
        <translation>Allowed senders:</translation>
    </message>
    <message>
        <source>关闭时不打开任何端口。</source>
        <translation>While off, no port is opened.</translation>
    </message>
    <message>
        <source>只有本机的程序(如 OBS 的 PTZ 控制)能控制相机。</source>
        <translation>Only programs on this PC (such as OBS's PTZ controls) can steer the camera.</translation>
    </message>
    <message>
        <source>VISCA 没有身份验证:能访问此端口的任何人都能控制相机。</source>
        <translation>VISCA has no authentication: anyone who reaches this port can steer the camera.</translation>
    </message>
    <message>
        <source>监听地址应为 IPv4 地址,例如 127.0.0.1</source>
        <translation>The listen address must be an IPv4 address, such as 127.0.0.1</translation>
    </message>
    <message>
        <source>允许的发送方应为以逗号分隔的 IPv4 地址</source>
        <translation>Allowed senders must be IPv4 addresses separated by commas</translation>
    </message>
    <message>
        <source>外部控制</source>
        <translation>Control</translation>
    </message>
    <message>
        <source>用游戏手柄控制相机</source>
        <translation>Steer the camera with a game controller</translation>
    </message>
    <message>
        <source>摇杆死区:</source>
        <translation>Stick dead zone:</translation>
    </message>
    <message>
        <source>右摇杆上下</source>
        <translation>Right stick up and down</translation>
    </message>
    <message>
        <source>扳机(右放大,左缩小)</source>
        <translation>Triggers (right zooms in, left out)</translation>
    </message>
    <message>
        <source>变焦:</source>
        <translation>Zoom:</translation>
    </message>
    <message>
        <source>反转上下方向</source>
        <translation>Invert up and down</translation>
    </message>
    <message>
        <source>窗口在后台时也响应手柄</source>
        <translation>Also while the window is in the background</translation>
    </message>
    <message>
        <source>应用后开始读取游戏手柄。</source>
        <translation>Game controllers are read once this is applied.</translation>
    </message>
    <message>
        <source>没有连接游戏手柄:插入后即可使用。</source>
        <translation>No game controller connected: plug one in to use it.</translation>
    </message>
    <message>
        <source>已连接:%1</source>
        <translation>Connected: %1</translation>
    </message>
    <message>
        <source>无法读取游戏手柄:%1</source>
        <translation>Game controllers cannot be read: %1</translation>
    </message>
    <message>
        <source>左摇杆</source>
        <translation>Left stick</translation>
    </message>
    <message>
        <source>转动云台,松开后恢复跟踪</source>
        <translation>Turn the gimbal; let go and tracking resumes</translation>
    </message>
    <message>
        <source>右摇杆上下 / 扳机</source>
        <translation>Right stick up/down or triggers</translation>
    </message>
    <message>
        <source>放大 / 缩小</source>
        <translation>Zoom in / out</translation>
    </message>
    <message>
        <source>游戏手柄</source>
        <translation>Game controller</translation>
    </message>
    <message>
        <source>游戏手柄 %1</source>
        <translation>Game controller: %1</translation>
    </message>
</context>
</TS>
