<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="zh_CN">
<context>
    <name>orunapp</name>
    <message>
        <source>未使用的硬件解码: %1</source>
        <translation>未使用的硬件解码: %1</translation>
    </message>
    <message>
        <source>(已更换 %1 次)</source>
        <translation>(已更换 %1 次)</translation>
    </message>
    <message>
        <source>,因磁盘太慢缺失 %1 秒</source>
        <translation>,因磁盘太慢缺失 %1 秒</translation>
    </message>
    <message>
        <source>:响应包出现数据域长度错误</source>
        <translation>:响应包出现数据域长度错误</translation>
    </message>
    <message>
        <source>AI通信失败</source>
        <translation>AI通信失败</translation>
    </message>
    <message>
        <source>EEPROM 自检失败</source>
        <translation>EEPROM 自检失败</translation>
    </message>
    <message>
        <source>LCA 未初识化完成</source>
        <translation>LCA 未初识化完成</translation>
    </message>
    <message>
        <source>LCA 正在处理上一条命令</source>
        <translation>LCA 正在处理上一条命令</translation>
    </message>
    <message>
        <source>OBS:添加“媒体源”,取消“本地文件”,输入 %1
播放器:ffplay %1</source>
        <translation>OBS:添加“媒体源”,取消“本地文件”,输入 %1
播放器:ffplay %1</translation>
    </message>
    <message>
        <source>RTMP 推流(直播平台)</source>
        <translation>RTMP 推流(直播平台)</translation>
    </message>
    <message>
        <source>SD卡内存已满</source>
        <translation>SD卡内存已满</translation>
    </message>
    <message>
        <source>SD卡写保护</source>
        <translation>SD卡写保护</translation>
    </message>
    <message>
        <source>SD卡初始化中</source>
        <translation>SD卡初始化中</translation>
    </message>
    <message>
        <source>SD卡文件系统不支持,请格式化</source>
        <translation>SD卡文件系统不支持,请格式化</translation>
    </message>
    <message>
        <source>SD卡文件系统错误,请格式化</source>
        <translation>SD卡文件系统错误,请格式化</translation>
    </message>
    <message>
        <source>SD卡格式化中</source>
        <translation>SD卡格式化中</translation>
    </message>
    <message>
        <source>SD卡类型不支持,请更换</source>
        <translation>SD卡类型不支持,请更换</translation>
    </message>
    <message>
        <source>SD卡读写错误,请重启ZORBEX</source>
        <translation>SD卡读写错误,请重启ZORBEX</translation>
    </message>
    <message>
        <source>SD卡错误,请格式化</source>
        <translation>SD卡错误,请格式化</translation>
    </message>
    <message>
        <source>SRT 监听(OBS、播放器)</source>
        <translation>SRT 监听(OBS、播放器)</translation>
    </message>
    <message>
        <source>Sensor错误</source>
        <translation>Sensor错误</translation>
    </message>
    <message>
        <source>UDP 发送(MPEG-TS)</source>
        <translation>UDP 发送(MPEG-TS)</translation>
    </message>
    <message>
        <source>Wifi名称过长,最多32个字节(一个汉字占3个字节)</source>
        <translation>Wifi名称过长,最多32个字节(一个汉字占3个字节)</translation>
    </message>
    <message>
        <source>Wifi密码过长,最多32个字节(一个汉字占3个字节)</source>
        <translation>Wifi密码过长,最多32个字节(一个汉字占3个字节)</translation>
    </message>
    <message>
        <source>Wifi模式</source>
        <translation>Wifi模式</translation>
    </message>
    <message>
        <source>Wifi连接模式:</source>
        <translation>Wifi连接模式:</translation>
    </message>
    <message>
        <source>wifi名称:</source>
        <translation>wifi名称:</translation>
    </message>
    <message>
        <source>上一帧 %1 秒前</source>
        <translation>上一帧 %1 秒前</translation>
    </message>
    <message>
        <source>丢弃 队列满 %1 · 渲染忙 %2 · 解码错误 %3</source>
        <translation>丢弃 队列满 %1 · 渲染忙 %2 · 解码错误 %3</translation>
    </message>
    <message>
        <source>不是文件夹</source>
        <translation>不是文件夹</translation>
    </message>
    <message>
        <source>主动推送设置WifiMode</source>
        <translation>主动推送设置WifiMode</translation>
    </message>
    <message>
        <source>云台摇杆</source>
        <translation>云台摇杆</translation>
    </message>
    <message>
        <source>云台通信失败</source>
        <translation>云台通信失败</translation>
    </message>
    <message>
        <source>云台锁定</source>
        <translation>云台锁定</translation>
    </message>
    <message>
        <source>云台锁定/解锁</source>
        <translation>云台锁定/解锁</translation>
    </message>
    <message>
        <source>云台锁定后将不再跟踪</source>
        <translation>云台锁定后将不再跟踪</translation>
    </message>
    <message>
        <source>停止电脑录像</source>
        <translation>停止电脑录像</translation>
    </message>
    <message>
        <source>全屏</source>
        <translation>全屏</translation>
    </message>
    <message>
        <source>全屏/退出全屏</source>
        <translation>全屏/退出全屏</translation>
    </message>
    <message>
        <source>关于本机</source>
        <translation>关于本机</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>关闭会话命令(stop)</source>
        <translation>关闭会话命令(stop)</translation>
    </message>
    <message>
        <source>切换拍照/录像模式</source>
        <translation>切换拍照/录像模式</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>刷新</translation>
    </message>
    <message>
        <source>单拍</source>
        <translation>单拍</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>变焦</source>
        <translation>变焦</translation>
    </message>
    <message>
        <source>只读文件系统</source>
        <translation>只读文件系统</translation>
    </message>
    <message>
        <source>图传分辨率:</source>
        <translation>图传分辨率:</translation>
    </message>
    <message>
        <source>图像比例:</source>
        <translation>图像比例:</translation>
    </message>
    <message>
        <source>图像自检失败</source>
        <translation>图像自检失败</translation>
    </message>
    <message>
        <source>在电脑上保存当前画面</source>
        <translation>在电脑上保存当前画面</translation>
    </message>
    <message>
        <source>在电脑上开始/停止录像</source>
        <translation>在电脑上开始/停止录像</translation>
    </message>
    <message>
        <source>在电脑上录制相机的画面(不重新编码)</source>
        <translation>在电脑上录制相机的画面(不重新编码)</translation>
    </message>
    <message>
        <source>地址:</source>
        <translation>地址:</translation>
    </message>
    <message>
        <source>地址应为 rtmp:// 开头的推流地址</source>
        <translation>地址应为 rtmp:// 开头的推流地址</translation>
    </message>
    <message>
        <source>地址应为 主机:端口,例如 127.0.0.1:9710</source>
        <translation>地址应为 主机:端口,例如 127.0.0.1:9710</translation>
    </message>
    <message>
        <source>多拍</source>
        <translation>多拍</translation>
    </message>
    <message>
        <source>媒体链路重连中…(第 %1 次)</source>
        <translation>媒体链路重连中…(第 %1 次)</translation>
    </message>
    <message>
        <source>媒体错误</source>
        <translation>媒体错误</translation>
    </message>
    <message>
        <source>存储系统加载失败,请重新插入SD卡</source>
        <translation>存储系统加载失败,请重新插入SD卡</translation>
    </message>
    <message>
        <source>密码:</source>
        <translation>密码:</translation>
    </message>
    <message>
        <source>对焦结果不可用，重装 sensor</source>
        <translation>对焦结果不可用，重装 sensor</translation>
    </message>
    <message>
        <source>尚无画面</source>
        <translation>尚无画面</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>帮助</translation>
    </message>
    <message>
        <source>应用</source>
        <translation>应用</translation>
    </message>
    <message>
        <source>开启会话命令(start)</source>
        <translation>开启会话命令(start)</translation>
    </message>
    <message>
        <source>开始直播输出:%1</source>
        <translation>开始直播输出:%1</translation>
    </message>
    <message>
        <source>开机默认横竖屏:</source>
        <translation>开机默认横竖屏:</translation>
    </message>
    <message>
        <source>当前连接:%1(热点模式)</source>
        <translation>当前连接:%1(热点模式)</translation>
    </message>
    <message>
        <source>当前连接:%1(站点模式)</source>
        <translation>当前连接:%1(站点模式)</translation>
    </message>
    <message>
        <source>当前连接:未连接(热点模式)</source>
        <translation>当前连接:未连接(热点模式)</translation>
    </message>
    <message>
        <source>当前连接:未连接(站点模式)</source>
        <translation>当前连接:未连接(站点模式)</translation>
    </message>
    <message>
        <source>录像 丢弃 %1 帧,缺失 %2 秒</source>
        <translation>录像 丢弃 %1 帧,缺失 %2 秒</translation>
    </message>
    <message>
        <source>往返时间 %1 ms (控制链路探测)</source>
        <translation>往返时间 %1 ms (控制链路探测)</translation>
    </message>
    <message>
        <source>快门</source>
        <translation>快门</translation>
    </message>
    <message>
        <source>快门(当前模式)</source>
        <translation>快门(当前模式)</translation>
    </message>
    <message>
        <source>打开设置</source>
        <translation>打开设置</translation>
    </message>
    <message>
        <source>录像已保存:%1</source>
        <translation>录像已保存:%1</translation>
    </message>
    <message>
        <source>录像文件夹:</source>
        <translation>录像文件夹:</translation>
    </message>
    <message>
        <source>录像无法写入 %1:%2</source>
        <translation>录像无法写入 %1:%2</translation>
    </message>
    <message>
        <source>录像格式:</source>
        <translation>录像格式:</translation>
    </message>
    <message>
        <source>录制与直播</source>
        <translation>录制与直播</translation>
    </message>
    <message>
        <source>截图包含目标框</source>
        <translation>截图包含目标框</translation>
    </message>
    <message>
        <source>截图已保存:%1</source>
        <translation>截图已保存:%1</translation>
    </message>
    <message>
        <source>截图文件夹:</source>
        <translation>截图文件夹:</translation>
    </message>
    <message>
        <source>截图无法保存到 %1:%2</source>
        <translation>截图无法保存到 %1:%2</translation>
    </message>
    <message>
        <source>截图格式:</source>
        <translation>截图格式:</translation>
    </message>
    <message>
        <source>把当前画面保存为图片(在电脑上)</source>
        <translation>把当前画面保存为图片(在电脑上)</translation>
    </message>
    <message>
        <source>拍照</source>
        <translation>拍照</translation>
    </message>
    <message>
        <source>拍照/录像</source>
        <translation>拍照/录像</translation>
    </message>
    <message>
        <source>拍照模式</source>
        <translation>拍照模式</translation>
    </message>
    <message>
        <source>拍照设置</source>
        <translation>拍照设置</translation>
    </message>
    <message>
        <source>拍照超时</source>
        <translation>拍照超时</translation>
    </message>
    <message>
        <source>按住转动云台</source>
        <translation>按住转动云台</translation>
    </message>
    <message>
        <source>按钮设置</source>
        <translation>按钮设置</translation>
    </message>
    <message>
        <source>放大一级</source>
        <translation>放大一级</translation>
    </message>
    <message>
        <source>推流</source>
        <translation>推流</translation>
    </message>
    <message>
        <source>摄像头</source>
        <translation>摄像头</translation>
    </message>
    <message>
        <source>作为摄像头提供给会议程序、浏览器和 OBS</source>
        <translation>作为摄像头提供给会议程序、浏览器和 OBS</translation>
    </message>
    <message>
        <source>作为摄像头提供中,等待其他程序读取(点击停止)</source>
        <translation>作为摄像头提供中,等待其他程序读取(点击停止)</translation>
    </message>
    <message>
        <source>有程序正在读取摄像头(点击停止)</source>
        <translation>有程序正在读取摄像头(点击停止)</translation>
    </message>
    <message>
        <source>作为摄像头提供给其他程序/停止</source>
        <translation>作为摄像头提供给其他程序/停止</translation>
    </message>
    <message>
        <source>摄像头:</source>
        <translation>摄像头:</translation>
    </message>
    <message>
        <source>程序启动时作为摄像头提供(orunapp 摄像头)</source>
        <translation>程序启动时作为摄像头提供(orunapp 摄像头)</translation>
    </message>
    <message>
        <source>此系统上还不能作为摄像头使用</source>
        <translation>此系统上还不能作为摄像头使用</translation>
    </message>
    <message>
        <source>无法作为摄像头使用:没有运行中的 PipeWire 服务</source>
        <translation>无法作为摄像头使用:没有运行中的 PipeWire 服务</translation>
    </message>
    <message>
        <source>摄像头输出已停止:PipeWire 服务已退出</source>
        <translation>摄像头输出已停止:PipeWire 服务已退出</translation>
    </message>
    <message>
        <source>PipeWire(浏览器、OBS、会议程序)</source>
        <translation>PipeWire(浏览器、OBS、会议程序)</translation>
    </message>
    <message>
        <source>启动时开启</source>
        <translation>启动时开启</translation>
    </message>
    <message>
        <source>V4L2 回环设备(未找到)</source>
        <translation>V4L2 回环设备(未找到)</translation>
    </message>
    <message>
        <source>没有 V4L2 回环设备。加载内核模块后重新打开设置:%1</source>
        <translation>没有 V4L2 回环设备。加载内核模块后重新打开设置:%1</translation>
    </message>
    <message>
        <source>V4L2:%1(未找到)</source>
        <translation>V4L2:%1(未找到)</translation>
    </message>
    <message>
        <source>无法写入 V4L2 回环设备:%1</source>
        <translation>无法写入 V4L2 回环设备:%1</translation>
    </message>
    <message>
        <source>播放器或 OBS 打开 %1</source>
        <translation>播放器或 OBS 打开 %1</translation>
    </message>
    <message>
        <source>整机初始化失败</source>
        <translation>整机初始化失败</translation>
    </message>
    <message>
        <source>断流看门狗</source>
        <translation>断流看门狗</translation>
    </message>
    <message>
        <source>方向键</source>
        <translation>方向键</translation>
    </message>
    <message>
        <source>是否设置为热点模式</source>
        <translation>是否设置为热点模式</translation>
    </message>
    <message>
        <source>是否设置为站点模式</source>
        <translation>是否设置为站点模式</translation>
    </message>
    <message>
        <source>显示</source>
        <translation>显示</translation>
    </message>
    <message>
        <source>显示/隐藏目标框</source>
        <translation>显示/隐藏目标框</translation>
    </message>
    <message>
        <source>显示/隐藏统计信息</source>
        <translation>显示/隐藏统计信息</translation>
    </message>
    <message>
        <source>显示密码</source>
        <translation>显示密码</translation>
    </message>
    <message>
        <source>显示目标框</source>
        <translation>显示目标框</translation>
    </message>
    <message>
        <source>智能设置</source>
        <translation>智能设置</translation>
    </message>
    <message>
        <source>最大化</source>
        <translation>最大化</translation>
    </message>
    <message>
        <source>最小化</source>
        <translation>最小化</translation>
    </message>
    <message>
        <source>未插入SD卡</source>
        <translation>未插入SD卡</translation>
    </message>
    <message>
        <source>未连接</source>
        <translation>未连接</translation>
    </message>
    <message>
        <source>未连接相机</source>
        <translation>未连接相机</translation>
    </message>
    <message>
        <source>横屏</source>
        <translation>横屏</translation>
    </message>
    <message>
        <source>横竖屏设置:</source>
        <translation>横竖屏设置:</translation>
    </message>
    <message>
        <source>正在切换wifi模式...</source>
        <translation>正在切换wifi模式...</translation>
    </message>
    <message>
        <source>正在连接媒体链路…(第 %1 次)</source>
        <translation>正在连接媒体链路…(第 %1 次)</translation>
    </message>
    <message>
        <source>没有写入权限</source>
        <translation>没有写入权限</translation>
    </message>
    <message>
        <source>没有可保存的画面</source>
        <translation>没有可保存的画面</translation>
    </message>
    <message>
        <source>浏览...</source>
        <translation>浏览...</translation>
    </message>
    <message>
        <source>热点模式</source>
        <translation>热点模式</translation>
    </message>
    <message>
        <source>电池容量不足,将自动关机</source>
        <translation>电池容量不足,将自动关机</translation>
    </message>
    <message>
        <source>电池通信失败</source>
        <translation>电池通信失败</translation>
    </message>
    <message>
        <source>电脑录像</source>
        <translation>电脑录像</translation>
    </message>
    <message>
        <source>电脑截图</source>
        <translation>电脑截图</translation>
    </message>
    <message>
        <source>界面按钮设置:</source>
        <translation>界面按钮设置:</translation>
    </message>
    <message>
        <source>直播</source>
        <translation>直播</translation>
    </message>
    <message>
        <source>直播平台给出的服务器地址和串流密钥</source>
        <translation>直播平台给出的服务器地址和串流密钥</translation>
    </message>
    <message>
        <source>串流密钥:</source>
        <translation>串流密钥:</translation>
    </message>
    <message>
        <source>SRT 密码:</source>
        <translation>SRT 密码:</translation>
    </message>
    <message>
        <source>地址中的选项 %1 无法识别</source>
        <translation>地址中的选项 %1 无法识别</translation>
    </message>
    <message>
        <source>密码应为 10 到 79 个字符</source>
        <translation>密码应为 10 到 79 个字符</translation>
    </message>
    <message>
        <source>直播输出 丢弃 %1 帧</source>
        <translation>直播输出 丢弃 %1 帧</translation>
    </message>
    <message>
        <source>直播输出:</source>
        <translation>直播输出:</translation>
    </message>
    <message>
        <source>直播输出中:%1(点击停止)</source>
        <translation>直播输出中:%1(点击停止)</translation>
    </message>
    <message>
        <source>直播输出无法打开 %1:%2</source>
        <translation>直播输出无法打开 %1:%2</translation>
    </message>
    <message>
        <source>相册</source>
        <translation>相册</translation>
    </message>
    <message>
        <source>相机列表</source>
        <translation>相机列表</translation>
    </message>
    <message>
        <source>相机开始/停止录像</source>
        <translation>相机开始/停止录像</translation>
    </message>
    <message>
        <source>相机未连接,设置为热点模式成功</source>
        <translation>相机未连接,设置为热点模式成功</translation>
    </message>
    <message>
        <source>相机未连接,设置为站点模式成功</source>
        <translation>相机未连接,设置为站点模式成功</translation>
    </message>
    <message>
        <source>相机设置</source>
        <translation>相机设置</translation>
    </message>
    <message>
        <source>码率 %1 Mbit/s · 解码器 %2, %3 ms/帧</source>
        <translation>码率 %1 Mbit/s · 解码器 %2, %3 ms/帧</translation>
    </message>
    <message>
        <source>硬件解码(自动)</source>
        <translation>硬件解码(自动)</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>磁盘已满</source>
        <translation>磁盘已满</translation>
    </message>
    <message>
        <source>竖屏</source>
        <translation>竖屏</translation>
    </message>
    <message>
        <source>站点模式</source>
        <translation>站点模式</translation>
    </message>
    <message>
        <source>等待相机</source>
        <translation>等待相机</translation>
    </message>
    <message>
        <source>等线</source>
        <translation>等线</translation>
    </message>
    <message>
        <source>统计信息</source>
        <translation>统计信息</translation>
    </message>
    <message>
        <source>缩小一级</source>
        <translation>缩小一级</translation>
    </message>
    <message>
        <source>视频</source>
        <translation>视频</translation>
    </message>
    <message>
        <source>视频 %1 · 接收 %2 · 解码 %3 · 显示 %4 帧/秒</source>
        <translation>视频 %1 · 接收 %2 · 解码 %3 · 显示 %4 帧/秒</translation>
    </message>
    <message>
        <source>视频解码:</source>
        <translation>视频解码:</translation>
    </message>
    <message>
        <source>视频设置</source>
        <translation>视频设置</translation>
    </message>
    <message>
        <source>设备过温,将自动关机</source>
        <translation>设备过温,将自动关机</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>设置Wifi工作模式失败</source>
        <translation>设置Wifi工作模式失败</translation>
    </message>
    <message>
        <source>设置Wifi工作模式成功</source>
        <translation>设置Wifi工作模式成功</translation>
    </message>
    <message>
        <source>设置为热点模式失败</source>
        <translation>设置为热点模式失败</translation>
    </message>
    <message>
        <source>设置为站点模式失败</source>
        <translation>设置为站点模式失败</translation>
    </message>
    <message>
        <source>设置媒体属性</source>
        <translation>设置媒体属性</translation>
    </message>
    <message>
        <source>设置热点模式请求已发送,提示灯变为蓝色闪烁表示正在切换模式,绿色常亮表示切换成功,如果失败,请重新设置,如果成功,请切换您电脑的Wifi.</source>
        <translation>设置热点模式请求已发送,提示灯变为蓝色闪烁表示正在切换模式,绿色常亮表示切换成功,如果失败,请重新设置,如果成功,请切换您电脑的Wifi.</translation>
    </message>
    <message>
        <source>设置站点模式请求已发送,提示灯变为紫色闪烁表示正在切换模式,常亮表示切换成功,如果失败,请检查Wifi名称和密码重新设置,如果成功,请切换您电脑的Wifi.</source>
        <translation>设置站点模式请求已发送,提示灯变为紫色闪烁表示正在切换模式,常亮表示切换成功,如果失败,请检查Wifi名称和密码重新设置,如果成功,请切换您电脑的Wifi.</translation>
    </message>
    <message>
        <source>语言设置</source>
        <translation>语言设置</translation>
    </message>
    <message>
        <source>语言设置:</source>
        <translation>语言设置:</translation>
    </message>
    <message>
        <source>请输入Wifi名称和密码</source>
        <translation>请输入Wifi名称和密码</translation>
    </message>
    <message>
        <source>软件解码</source>
        <translation>软件解码</translation>
    </message>
    <message>
        <source>还原窗口</source>
        <translation>还原窗口</translation>
    </message>
    <message>
        <source>连拍</source>
        <translation>连拍</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>连接</translation>
    </message>
    <message>
        <source>退出全屏</source>
        <translation>退出全屏</translation>
    </message>
    <message>
        <source>连接被拒绝</source>
        <translation>连接被拒绝</translation>
    </message>
    <message>
        <source>选择文件夹</source>
        <translation>选择文件夹</translation>
    </message>
    <message>
        <source>通用功能</source>
        <translation>通用功能</translation>
    </message>
    <message>
        <source>通用设置</source>
        <translation>通用设置</translation>
    </message>
    <message>
        <source>重启软件生效</source>
        <translation>重启软件生效</translation>
    </message>
    <message>
        <source>重连看门狗</source>
        <translation>重连看门狗</translation>
    </message>
    <message>
        <source>链路 丢失 %1 段 (%2%) · 重传 %3 · 重复 %4</source>
        <translation>链路 丢失 %1 段 (%2%) · 重传 %3 · 重复 %4</translation>
    </message>
    <message>
        <source>键盘快捷键</source>
        <translation>键盘快捷键</translation>
    </message>
    <message>
        <source>镜像</source>
        <translation>镜像</translation>
    </message>
    <message>
        <source>镜像设置:</source>
        <translation>镜像设置:</translation>
    </message>
    <message>
        <source>镜头通信失败</source>
        <translation>镜头通信失败</translation>
    </message>
    <message>
        <source>镜头驱动板启动失败</source>
        <translation>镜头驱动板启动失败</translation>
    </message>
    <message>
        <source>隐藏</source>
        <translation>隐藏</translation>
    </message>
    <message>
        <source>非镜像</source>
        <translation>非镜像</translation>
    </message>
    <message>
        <source>音频</source>
        <translation>音频</translation>
    </message>
    <message>
        <source>自动连接上次的相机</source>
        <translation>自动连接上次的相机</translation>
    </message>
    <message>
        <source>站点模式:搜索到上次连接的相机时自动连接它,无需每次启动后再按“连接”</source>
        <translation>站点模式:搜索到上次连接的相机时自动连接它,无需每次启动后再按“连接”</translation>
    </message>
    <message>
        <source>VISCA 控制无法打开端口:%1</source>
        <translation>VISCA 控制无法打开端口:%1</translation>
    </message>
    <message>
        <source>VISCA 控制器 %1 · 上次指令 %2 秒前</source>
        <translation>VISCA 控制器 %1 · 上次指令 %2 秒前</translation>
    </message>
    <message>
        <source>接受 VISCA over IP 控制(UDP)</source>
        <translation>接受 VISCA over IP 控制(UDP)</translation>
    </message>
    <message>
        <source>监听地址:</source>
        <translation>监听地址:</translation>
    </message>
    <message>
        <source>UDP 端口:</source>
        <translation>UDP 端口:</translation>
    </message>
    <message>
        <source>同时接受 TCP 上的 VISCA</source>
        <translation>同时接受 TCP 上的 VISCA</translation>
    </message>
    <message>
        <source>TCP 端口:</source>
        <translation>TCP 端口:</translation>
    </message>
    <message>
        <source>全部(以逗号分隔的 IPv4 地址)</source>
        <translation>全部(以逗号分隔的 IPv4 地址)</translation>
    </message>
    <message>
        <source>允许的发送方:</source>
        <translation>允许的发送方:</translation>
    </message>
    <message>
        <source>关闭时不打开任何端口。</source>
        <translation>关闭时不打开任何端口。</translation>
    </message>
    <message>
        <source>只有本机的程序(如 OBS 的 PTZ 控制)能控制相机。</source>
        <translation>只有本机的程序(如 OBS 的 PTZ 控制)能控制相机。</translation>
    </message>
    <message>
        <source>VISCA 没有身份验证:能访问此端口的任何人都能控制相机。</source>
        <translation>VISCA 没有身份验证:能访问此端口的任何人都能控制相机。</translation>
    </message>
    <message>
        <source>监听地址应为 IPv4 地址,例如 127.0.0.1</source>
        <translation>监听地址应为 IPv4 地址,例如 127.0.0.1</translation>
    </message>
    <message>
        <source>允许的发送方应为以逗号分隔的 IPv4 地址</source>
        <translation>允许的发送方应为以逗号分隔的 IPv4 地址</translation>
    </message>
    <message>
        <source>外部控制</source>
        <translation>外部控制</translation>
    </message>
    <message>
        <source>用游戏手柄控制相机</source>
        <translation>用游戏手柄控制相机</translation>
    </message>
    <message>
        <source>摇杆死区:</source>
        <translation>摇杆死区:</translation>
    </message>
    <message>
        <source>右摇杆上下</source>
        <translation>右摇杆上下</translation>
    </message>
    <message>
        <source>扳机(右放大,左缩小)</source>
        <translation>扳机(右放大,左缩小)</translation>
    </message>
    <message>
        <source>变焦:</source>
        <translation>变焦:</translation>
    </message>
    <message>
        <source>反转上下方向</source>
        <translation>反转上下方向</translation>
    </message>
    <message>
        <source>窗口在后台时也响应手柄</source>
        <translation>窗口在后台时也响应手柄</translation>
    </message>
    <message>
        <source>应用后开始读取游戏手柄。</source>
        <translation>应用后开始读取游戏手柄。</translation>
    </message>
    <message>
        <source>没有连接游戏手柄:插入后即可使用。</source>
        <translation>没有连接游戏手柄:插入后即可使用。</translation>
    </message>
    <message>
        <source>已连接:%1</source>
        <translation>已连接:%1</translation>
    </message>
    <message>
        <source>无法读取游戏手柄:%1</source>
        <translation>无法读取游戏手柄:%1</translation>
    </message>
    <message>
        <source>左摇杆</source>
        <translation>左摇杆</translation>
    </message>
    <message>
        <source>转动云台,松开后恢复跟踪</source>
        <translation>转动云台,松开后恢复跟踪</translation>
    </message>
    <message>
        <source>右摇杆上下 / 扳机</source>
        <translation>右摇杆上下 / 扳机</translation>
    </message>
    <message>
        <source>放大 / 缩小</source>
        <translation>放大 / 缩小</translation>
    </message>
    <message>
        <source>游戏手柄</source>
        <translation>游戏手柄</translation>
    </message>
    <message>
        <source>游戏手柄 %1</source>
        <translation>游戏手柄 %1</translation>
    </message>
</context>
</TS>
