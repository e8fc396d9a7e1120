<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>HelperWidget</name>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:10pt; font-weight:700;&quot;&gt;无法录制的问题,分两步排查&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:10pt; font-weight:700;&quot;&gt;Nothing gets recorded? Check it in two steps&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-weight:700;&quot;&gt;第1步: 选择 &amp;quot;只录视频&amp;quot; 模式&lt;/span&gt;&lt;/p&gt;&lt;p&gt;&lt;img src=&quot;:/helper/rc/helper/h1.png&quot;/&gt;&lt;/p&gt;&lt;p&gt;如果可以录制视频,说明录屏软件没有问题,则进行第 2 步检验,否则是录屏软件自身问题;&lt;/p&gt;&lt;p&gt;&lt;span style=&quot; font-weight:700;&quot;&gt;第2步: 用桌面的声音设置或 pavucontrol 测试麦克风&lt;/span&gt;&lt;/p&gt;&lt;p&gt;打开桌面的 &amp;quot;声音&amp;quot; 设置, 或运行 PulseAudio 音量控制 &lt;span style=&quot; font-family:monospace;&quot;&gt;pavucontrol&lt;/span&gt; (Debian 软件包 pavucontrol).&lt;/p&gt;&lt;p&gt;在 &amp;quot;输入设备&amp;quot; 页选择要用的麦克风, 并确认它没有被静音; 对着麦克风说话, 音量条应随声音跳动.&lt;/p&gt;&lt;p&gt;如果音量条跳动,则是录屏软件自身问题,&lt;/p&gt;&lt;p&gt;否则是&lt;span style=&quot; font-weight:700;&quot;&gt;系统音频设备配置错误&lt;/span&gt; 或 &lt;span style=&quot; font-weight:700;&quot;&gt;声卡驱动异常&lt;/span&gt;。&lt;/p&gt;&lt;p&gt;--------------------------------------------------------------------------&lt;/p&gt;&lt;p&gt;&lt;span style=&quot; font-weight:700;&quot;&gt;系统声音&amp;quot;内录&amp;quot;&lt;/span&gt;: 勾选 &amp;quot;系统声音&amp;quot; 后录制的是默认输出设备的监视源 (monitor). 录制时在 pavucontrol 的 &amp;quot;录音&amp;quot; 页可以看到 Murovent 的来源; 要录的程序在 &amp;quot;回放&amp;quot; 页中应输出到默认输出设备.&lt;/p&gt;&lt;p&gt;--------------------------------------------------------------------------&lt;br/&gt;&lt;/p&gt;&lt;p&gt;&lt;span style=&quot; font-weight:700;&quot;&gt;详情请联系我们:&lt;/span&gt; &lt;a href=&quot;https://www.murovent.example/&quot;&gt;官方网站&lt;/a&gt; | &lt;a href=&quot;https://www.murovent.example/help&quot;&gt;帮助中心&lt;/a&gt;&lt;/p&gt;&lt;p&gt;联系邮箱: support@murovent.example&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-weight:700;&quot;&gt;Step 1: choose &amp;quot;Video only&amp;quot;&lt;/span&gt;&lt;/p&gt;&lt;p&gt;&lt;img src=&quot;:/helper/rc/helper/h1.png&quot;/&gt;&lt;/p&gt;&lt;p&gt;If video is recorded, the recorder works: go on with step 2. If not, the fault is the recorder&apos;s own;&lt;/p&gt;&lt;p&gt;&lt;span style=&quot; font-weight:700;&quot;&gt;Step 2: test the microphone in the desktop&apos;s sound settings or in pavucontrol&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Open the desktop&apos;s &amp;quot;Sound&amp;quot; settings, or run the PulseAudio volume control &lt;span style=&quot; font-family:monospace;&quot;&gt;pavucontrol&lt;/span&gt; (Debian package pavucontrol).&lt;/p&gt;&lt;p&gt;On the &amp;quot;Input Devices&amp;quot; page choose the microphone and make sure it is not muted; speak into it: the level bar should move with your voice.&lt;/p&gt;&lt;p&gt;If the level bar moves, the fault is the recorder&apos;s own,&lt;/p&gt;&lt;p&gt;otherwise it is &lt;span style=&quot; font-weight:700;&quot;&gt;a wrong sound device setting&lt;/span&gt; or &lt;span style=&quot; font-weight:700;&quot;&gt;a sound card driver fault&lt;/span&gt;.&lt;/p&gt;&lt;p&gt;--------------------------------------------------------------------------&lt;/p&gt;&lt;p&gt;&lt;span style=&quot; font-weight:700;&quot;&gt;System sound&lt;/span&gt;: with &amp;quot;System sound&amp;quot; checked, the monitor of the default output device is recorded. While recording, pavucontrol&apos;s &amp;quot;Recording&amp;quot; page shows what Murovent records from; on its &amp;quot;Playback&amp;quot; page the program you record should play to the default output device.&lt;/p&gt;&lt;p&gt;--------------------------------------------------------------------------&lt;br/&gt;&lt;/p&gt;&lt;p&gt;&lt;span style=&quot; font-weight:700;&quot;&gt;More help:&lt;/span&gt; &lt;a href=&quot;https://www.murovent.example/&quot;&gt;Web site&lt;/a&gt; | &lt;a href=&quot;https://www.murovent.example/help&quot;&gt;Help centre&lt;/a&gt;&lt;/p&gt;&lt;p&gt;E-mail: support@murovent.example&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;...&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;...&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
</context>
<context>
    <name>HotKeySetDlg</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:12pt; font-weight:700; color:#55aa00;&quot;&gt;快捷键设置&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:12pt; font-weight:700; color:#55aa00;&quot;&gt;Hot keys&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>恢复默认设置</source>
        <translation>Restore the defaults</translation>
    </message>
    <message>
        <source>开始|暂停:</source>
        <translation>Start|Pause:</translation>
    </message>
    <message>
        <source>Ctrl</source>
        <translation>Ctrl</translation>
    </message>
    <message>
        <source>Alt</source>
        <translation>Alt</translation>
    </message>
    <message>
        <source>Shift</source>
        <translation>Shift</translation>
    </message>
    <message>
        <source>F1</source>
        <translation>F1</translation>
    </message>
    <message>
        <source>F2</source>
        <translation>F2</translation>
    </message>
    <message>
        <source>F3</source>
        <translation>F3</translation>
    </message>
    <message>
        <source>F4</source>
        <translation>F4</translation>
    </message>
    <message>
        <source>F5</source>
        <translation>F5</translation>
    </message>
    <message>
        <source>F6</source>
        <translation>F6</translation>
    </message>
    <message>
        <source>F7</source>
        <translation>F7</translation>
    </message>
    <message>
        <source>F8</source>
        <translation>F8</translation>
    </message>
    <message>
        <source>F9</source>
        <translation>F9</translation>
    </message>
    <message>
        <source>F10</source>
        <translation>F10</translation>
    </message>
    <message>
        <source>F11</source>
        <translation>F11</translation>
    </message>
    <message>
        <source>F12</source>
        <translation>F12</translation>
    </message>
    <message>
        <source>停     止:</source>
        <translation>Stop:</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>设置快捷键</source>
        <translation>Set the hot keys</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>快捷键 &apos;%1&apos; 已经被占用,是否重新设置?</source>
        <translation>The hot key &apos;%1&apos; is taken by another program. Choose another one?</translation>
    </message>
    <message>
        <source>重新设置</source>
        <translation>Choose again</translation>
    </message>
    <message>
        <source>我知道了</source>
        <translation>Keep going</translation>
    </message>
</context>
<context>
    <name>ImageWaterItem</name>
    <message>
        <source>选择水印图片</source>
        <translation>Choose a watermark picture</translation>
    </message>
    <message>
        <source>Image Files (*.png *.bmp)</source>
        <translation>Image Files (*.png *.bmp)</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>图片格式不支持或图片无效,
请换一张试一试!</source>
        <translation>This picture cannot be read,
please try another one!</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>替换</source>
        <translation>Replace</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>水印尺寸大于录制选区，请更换小尺寸水印!</source>
        <translation>The watermark is larger than the recording area, please choose a smaller one!</translation>
    </message>
    <message>
        <source>设置文件 %1 不是普通文件, 无法读取, 也不会被覆盖; 已使用内置主题.</source>
        <translation>The settings file %1 is not a regular file: it was not read and will not be overwritten; the built-in themes are used.</translation>
    </message>
    <message>
        <source>无法读取设置文件 %1 (%2); 已使用内置主题, 原文件保持不变.</source>
        <translation>The settings file %1 cannot be read (%2); the built-in themes are used and the file is left as it is.</translation>
    </message>
    <message>
        <source>设置文件 %1 已损坏, 已从中恢复 %2 个主题.</source>
        <translation>The settings file %1 is damaged; %2 themes were recovered from it.</translation>
    </message>
    <message>
        <source>设置文件 %1 已损坏, 已换成内置主题.</source>
        <translation>The settings file %1 is damaged; the built-in themes are used instead.</translation>
    </message>
    <message>
        <source>设置文件 %1 中有无法识别的字符, 部分主题名可能显示不正确.</source>
        <translation>The settings file %1 holds characters that could not be read; some theme names may look wrong.</translation>
    </message>
    <message>
        <source>原文件无法备份, 将保持不变, 不会被覆盖.</source>
        <translation>The original could not be backed up; it is left as it is and will not be overwritten.</translation>
    </message>
    <message>
        <source>原文件已保存为 %1.</source>
        <translation>The original is kept as %1.</translation>
    </message>
    <message>
        <source>无法在文件夹 %1 中保存设置, 本次对主题的修改不会被保存.</source>
        <translation>Settings cannot be saved in the folder %1; changes to the themes will not be kept this time.</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>RectSelector</name>
    <message>
        <source>重新选区</source>
        <translation>Select again</translation>
    </message>
    <message>
        <source>退出选区</source>
        <translation>Leave the selection</translation>
    </message>
</context>
<context>
    <name>SaveBarWidget</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>文件夹:</source>
        <translation>Folder:</translation>
    </message>
    <message>
        <source>保存到路径</source>
        <translation>Save into this folder</translation>
    </message>
    <message>
        <source>选择保存路径</source>
        <translation>Choose the folder</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>文件名:</source>
        <translation>File name:</translation>
    </message>
    <message>
        <source>保存为文件</source>
        <translation>Save as this file</translation>
    </message>
    <message>
        <source>存储格式</source>
        <translation>File format</translation>
    </message>
    <message>
        <source>.mp4</source>
        <translation>.mp4</translation>
    </message>
    <message>
        <source>选择存储路径</source>
        <translation>Choose the folder</translation>
    </message>
</context>
<context>
    <name>TextWaterItem</name>
    <message>
        <source>字体</source>
        <translation>Font</translation>
    </message>
    <message>
        <source>颜色</source>
        <translation>Colour</translation>
    </message>
</context>
<context>
    <name>TimerWidget</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>延时n秒开始: </source>
        <translation>Start after (s): </translation>
    </message>
    <message>
        <source>录制时长:</source>
        <translation>Length:</translation>
    </message>
</context>
<context>
    <name>ZMAVRecorderMenu</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>录制 &amp; 暂停</source>
        <translation>Record &amp; pause</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>停止录制</source>
        <translation>Stop recording</translation>
    </message>
    <message>
        <source>选择录制主题</source>
        <translation>Choose a recording theme</translation>
    </message>
    <message>
        <source> 录讲学</source>
        <translation> Lecture</translation>
    </message>
    <message>
        <source> 录游戏</source>
        <translation> Game</translation>
    </message>
    <message>
        <source> 录视频</source>
        <translation> Video</translation>
    </message>
    <message>
        <source>还原所有配置</source>
        <translation>Restore all themes</translation>
    </message>
    <message>
        <source>|</source>
        <translation>|</translation>
    </message>
    <message>
        <source>删除选中的配置</source>
        <translation>Delete the chosen theme</translation>
    </message>
    <message>
        <source>-</source>
        <translation>-</translation>
    </message>
    <message>
        <source>新增配置</source>
        <translation>New theme</translation>
    </message>
    <message>
        <source>+</source>
        <translation>+</translation>
    </message>
    <message>
        <source>选择录制区域</source>
        <translation>Choose the recording area</translation>
    </message>
    <message>
        <source>添加文字水印</source>
        <translation>Add a text watermark</translation>
    </message>
    <message>
        <source>自定义快捷键</source>
        <translation>Set the hot keys</translation>
    </message>
    <message>
        <source>添加图像水印</source>
        <translation>Add a picture watermark</translation>
    </message>
    <message>
        <source>选择录制模式</source>
        <translation>Choose what to record</translation>
    </message>
    <message>
        <source>录制音视频</source>
        <translation>Video+sound</translation>
    </message>
    <message>
        <source>只录制视频</source>
        <translation>Video only</translation>
    </message>
    <message>
        <source>只录制音频</source>
        <translation>Sound only</translation>
    </message>
    <message>
        <source>抓取系统鼠标</source>
        <translation>Draw the mouse pointer</translation>
    </message>
    <message>
        <source>录制鼠标</source>
        <translation>Mouse pointer</translation>
    </message>
    <message>
        <source>当CPU负载过高时,将自动跳帧,降低采集帧率</source>
        <translation>When the processor is busy, frames are skipped to lower the frame rate</translation>
    </message>
    <message>
        <source>智能跳帧</source>
        <translation>Skip frames</translation>
    </message>
    <message>
        <source>选择视频的采集帧率</source>
        <translation>Choose the video frame rate</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;img src=&quot;:/images/video.png&quot;/&gt;视频帧率:&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;img src=&quot;:/images/video.png&quot;/&gt;Frame rate:&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>设置视频的采集帧率</source>
        <translation>Set the video frame rate</translation>
    </message>
    <message>
        <source>仅录制操作系统声卡数据</source>
        <translation>Record only what the system plays</translation>
    </message>
    <message>
        <source>系统声音</source>
        <translation>System sound</translation>
    </message>
    <message>
        <source>选择音频的采集帧率</source>
        <translation>Choose the sound sample rate</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;img src=&quot;:/images/audio.png&quot;/&gt; 音频频率:&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;img src=&quot;:/images/audio.png&quot;/&gt; Sample rate:&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>选择音频的采集频率</source>
        <translation>Choose the sound sample rate</translation>
    </message>
    <message>
        <source>000</source>
        <translation>000</translation>
    </message>
    <message>
        <source>定时器生效</source>
        <translation>Timed recording on</translation>
    </message>
    <message>
        <source>设置定时器</source>
        <translation>Set the timer</translation>
    </message>
    <message>
        <source>跳转到路径</source>
        <translation>Open the folder</translation>
    </message>
    <message>
        <source>选择保存路径</source>
        <translation>Choose the folder</translation>
    </message>
    <message>
        <source>最小化窗口</source>
        <translation>Hide the window</translation>
    </message>
    <message>
        <source>退出软件</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>关于我</source>
        <translation>About</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>文字水印,双击编辑替换</source>
        <translation>Text watermark, double-click to edit</translation>
    </message>
    <message>
        <source>默认全屏录制 ......</source>
        <translation>Recording the full screen by default ......</translation>
    </message>
    <message>
        <source>   屏幕来源: %1</source>
        <translation>   Screen source: %1</translation>
    </message>
    <message>
        <source>   全局热键需要桌面的支持, 请使用面板或托盘按钮.</source>
        <translation>   Global hot keys need the desktop&apos;s support; use the panel or the tray buttons.</translation>
    </message>
    <message>
        <source>无法取得桌面画面, 请允许共享屏幕后重新选择录制区域!
%1</source>
        <translation>Cannot get a picture of the desktop. Allow sharing the screen, then choose the area again!
%1</translation>
    </message>
    <message>
        <source>开始录制 &amp; 暂停</source>
        <translation>Start &amp; pause recording</translation>
    </message>
    <message>
        <source>停止程序</source>
        <translation>Stop recording</translation>
    </message>
    <message>
        <source>退出程序</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>请设置帧率!</source>
        <translation>Please set the frame rate!</translation>
    </message>
    <message>
        <source>将在 %1 秒后开始录制!</source>
        <translation>Recording starts in %1 s!</translation>
    </message>
    <message>
        <source>
录制 %1 秒后自动停止.</source>
        <translation>
It stops by itself after %1 s.</translation>
    </message>
    <message>
        <source>暂停录制,
并且停用定时器</source>
        <translation>Recording paused,
the timer is off</translation>
    </message>
    <message>
        <source>暂停录制</source>
        <translation>Pause recording</translation>
    </message>
    <message>
        <source>继续录制</source>
        <translation>Resume recording</translation>
    </message>
    <message>
        <source>开始录制</source>
        <translation>Start recording</translation>
    </message>
    <message>
        <source>录制区域宽或高不能小于 %1 个像素
当前选区为: [%2x%3]
请重新选择录制区域!</source>
        <translation>The recording area must be at least %1 pixels wide and high.
The selection is [%2x%3].
Please choose the area again!</translation>
    </message>
    <message>
        <source>存储路径不能为空</source>
        <translation>The folder and the file name must not be empty</translation>
    </message>
    <message>
        <source>~%1</source>
        <translation>~%1</translation>
    </message>
    <message>
        <source>存储路径无效, 请重新选择 &apos;文件夹&apos; 路径!</source>
        <translation>The folder does not exist, please choose the &apos;Folder&apos; again!</translation>
    </message>
    <message>
        <source>存储路径太长 (超过 %1 字节), 请选择较短的文件夹或文件名:
%2</source>
        <translation>The path is too long (more than %1 bytes), please choose a shorter folder or file name:
%2</translation>
    </message>
    <message>
        <source>当前路径没有读写权限,请以管理员权限运行软件 
 %1</source>
        <translation>This folder cannot be written to, please choose another one 
 %1</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>快捷键冲突,请重新设置快捷键</source>
        <translation>A hot key is taken by another program, please set the hot keys again</translation>
    </message>
    <message>
        <source>Murovent 有新版本了哦 !
欢迎前往 </source>
        <translation>A new version of Murovent is out!
Get it at </translation>
    </message>
    <message>
        <source> 下载</source>
        <translation> !</translation>
    </message>
    <message>
        <source>当前版本已不再维护,
请到 </source>
        <translation>This version is no longer supported,
please get the latest one at </translation>
    </message>
    <message>
        <source> 或 </source>
        <translation> or </translation>
    </message>
    <message>
        <source> 下载最新版本, 谢谢!</source>
        <translation>. Thank you!</translation>
    </message>
    <message>
        <source>自定义选区录制 !!</source>
        <translation>Recording a chosen area !!</translation>
    </message>
    <message>
        <source>全屏录制 !!!</source>
        <translation>Recording the full screen !!!</translation>
    </message>
    <message>
        <source>将使用定时器, 录制时长:  %1</source>
        <translation>Timed recording, length:  %1</translation>
    </message>
    <message>
        <source>关闭定时器</source>
        <translation>Timer off</translation>
    </message>
    <message>
        <source>正在录制 %1</source>
        <translation>Recording %1</translation>
    </message>
    <message>
        <source>已暂停 %1</source>
        <translation>Paused %1</translation>
    </message>
    <message>
        <source>未在录制</source>
        <translation>Not recording</translation>
    </message>
    <message>
        <source>%1 | 文件大小: %2</source>
        <translation>%1 | file size: %2</translation>
    </message>
    <message>
        <source>时长 %1, 大小 %2</source>
        <translation>length %1, size %2</translation>
    </message>
    <message>
        <source>录制已保存</source>
        <translation>Recording saved</translation>
    </message>
    <message>
        <source>录制已保存: %1
%2</source>
        <translation>Recording saved: %1
%2</translation>
    </message>
    <message>
        <source>已保存: %1 (%2)</source>
        <translation>Saved: %1 (%2)</translation>
    </message>
    <message>
        <source>文字水印</source>
        <translation>The text watermark</translation>
    </message>
    <message>
        <source>图片水印</source>
        <translation>the picture watermark</translation>
    </message>
    <message>
        <source>%1 不在录制区域内, 不会出现在本次录制中.</source>
        <translation>%1: outside the recording area, so not in this recording.</translation>
    </message>
    <message>
        <source>, </source>
        <translation>, </translation>
    </message>
    <message>
        <source>无法打开文件夹 %1
%2</source>
        <translation>The folder %1 could not be opened
%2</translation>
    </message>
    <message>
        <source>自定义主题</source>
        <translation>New theme</translation>
    </message>
    <message>
        <source>主题名:</source>
        <translation>Theme name:</translation>
    </message>
    <message>
        <source>该主题已经存在, 请重新命名!</source>
        <translation>This theme exists already, please choose another name!</translation>
    </message>
    <message>
        <source>确定要删除主题 &apos; %1 &apos; 吗?</source>
        <translation>Delete the theme &apos; %1 &apos;?</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>确定还原所有主题吗?
[ 还原操作将会清除所有自定义的主题 ]</source>
        <translation>Restore all themes?
[ Every theme of your own will be removed ]</translation>
    </message>
    <message>
        <source>还原</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>%1 (已保存到中断前约一秒)</source>
        <translation>%1 (saved up to about a second before the interruption)</translation>
    </message>
    <message>
        <source>%1 (中断前尚未录下任何内容)</source>
        <translation>%1 (nothing had been recorded before the interruption)</translation>
    </message>
    <message>
        <source>%1 (文件已不存在)</source>
        <translation>%1 (the file no longer exists)</translation>
    </message>
    <message>
        <source>%1 (无法修复: %2)</source>
        <translation>%1 (cannot be repaired: %2)</translation>
    </message>
    <message>
        <source>上次录制被意外中断:
%1</source>
        <translation>The last recording was interrupted:
%1</translation>
    </message>
</context>
<context>
    <name>ZMAVRecorderMenuPrivate</name>
    <message>
        <source>无法录制系统声音, 请检查声卡设备,
或取消 &quot;系统声音&quot; 改为录制麦克风.
%1</source>
        <translation>The system sound cannot be recorded. Please check the sound card,
or clear &quot;System sound&quot; to record the microphone.
%1</translation>
    </message>
    <message>
        <source>没有可用的录音设备, 无法录制声音!
请检查麦克风, 或选择 &quot;只录制视频&quot; 模式.
%1</source>
        <translation>No recording device is available, no sound can be recorded!
Please check the microphone, or choose &quot;Video only&quot;.
%1</translation>
    </message>
    <message>
        <source>无法录制屏幕区域 [%1,%2 %3x%4], 请重新选择录制区域!
%5</source>
        <translation>The screen area [%1,%2 %3x%4] cannot be recorded, please choose the area again!
%5</translation>
    </message>
    <message>
        <source>无法创建录制文件, 请检查存储路径和磁盘空间:
%1
%2</source>
        <translation>The recording file cannot be created, please check the folder and the free disk space:
%1
%2</translation>
    </message>
    <message>
        <source>录音设备无法开始录音, 录制已停止.
%1</source>
        <translation>The recording device did not start, the recording has stopped.
%1</translation>
    </message>
    <message>
        <source>屏幕连接已断开, 录制已停止并保存.</source>
        <translation>The screen went away; the recording has stopped and is saved.</translation>
    </message>
    <message>
        <source>麦克风已断开, 之后录制的是静音.</source>
        <translation>The microphone went away; silence is recorded from now on.</translation>
    </message>
    <message>
        <source>系统声音已断开, 之后录制的是静音.</source>
        <translation>The system sound went away; silence is recorded from now on.</translation>
    </message>
    <message>
        <source>麦克风已断开, 之后只录制系统声音.</source>
        <translation>The microphone went away; from now on only the system sound is recorded.</translation>
    </message>
    <message>
        <source>系统声音已断开, 之后只录制麦克风.</source>
        <translation>The system sound went away; from now on only the microphone is recorded.</translation>
    </message>
    <message>
        <source>录制的窗口已关闭, 录制已停止并保存.</source>
        <translation>The recorded window was closed; the recording has stopped and is saved.</translation>
    </message>
    <message>
        <source>录制的显示器已断开或已改变, 录制已停止并保存.</source>
        <translation>The recorded monitor went away or changed; the recording has stopped and is saved.</translation>
    </message>
    <message>
        <source>无法同时录制麦克风和系统声音, 请检查声卡设备,
或取消 &quot;同时录制麦克风&quot;.
%1</source>
        <translation>The microphone and the system sound cannot be recorded together. Please check the sound card,
or clear &quot;Also the microphone&quot;.
%1</translation>
    </message>
    <message>
        <source>录制文件收尾时写入出错, 之前录制的内容已保存.
%1</source>
        <translation>Writing the end of the recording failed; what was recorded before is saved.
%1</translation>
    </message>
    <message>
        <source>录制文件写入出错, 录制已停止, 之前录制的内容已保存.
%1</source>
        <translation>Writing the recording failed; the recording has stopped and what was recorded before is saved.
%1</translation>
    </message>
    <message>
        <source>磁盘空间即将用完, 录制仍在继续.
%1</source>
        <translation>The disk is nearly full; the recording goes on.
%1</translation>
    </message>
</context>
<context>
    <name>ZMAbout</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:10pt; font-weight:700;&quot;&gt;Murovent 录屏软件&lt;/span&gt;&lt;/p&gt;&lt;p align=&quot;center&quot;&gt;Zolmet 出品 &amp;nbsp; &lt;a href=&quot;https://www.murovent.example/&quot;&gt;官方网站&lt;/a&gt; | &lt;a href=&quot;https://www.murovent.example/download&quot;&gt;下载最新版本&lt;/a&gt; | &lt;a href=&quot;https://www.murovent.example/feedback&quot;&gt;意见反馈&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:10pt; font-weight:700;&quot;&gt;Murovent screen recorder&lt;/span&gt;&lt;/p&gt;&lt;p align=&quot;center&quot;&gt;by Zolmet &amp;nbsp; &lt;a href=&quot;https://www.murovent.example/&quot;&gt;Web site&lt;/a&gt; | &lt;a href=&quot;https://www.murovent.example/download&quot;&gt;Latest version&lt;/a&gt; | &lt;a href=&quot;https://www.murovent.example/feedback&quot;&gt;Feedback&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>version:</source>
        <translation>version:</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;全屏或自定义选区录制, 麦克风或系统声音, 图像与文字水印, 延时开始与定时停止.&lt;/p&gt;&lt;p&gt;使用中遇到问题或有任何建议, 欢迎访问 &lt;a href=&quot;https://www.murovent.example/&quot;&gt;官方网站&lt;/a&gt;.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Records the full screen or a chosen area, with the microphone or the system sound, picture and text watermarks, a delayed start and a timed stop.&lt;/p&gt;&lt;p&gt;Questions or ideas? Visit our &lt;a href=&quot;https://www.murovent.example/&quot;&gt;web site&lt;/a&gt;.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;本程序是自由软件, 按 GNU 通用公共许可证第 2 版或 (由您选择) 任何更新的版本发布 (GPL-2.0-or-later), 不提供任何担保.&lt;/p&gt;&lt;p&gt;基于以下组件:&lt;/p&gt;&lt;table cellspacing=&quot;2&quot;&gt;&lt;tr&gt;&lt;td&gt;FFmpeg&lt;/td&gt;&lt;td&gt;LGPL-2.1-or-later (与 x264 一同构建时为 GPL-2.0-or-later)&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;x264&lt;/td&gt;&lt;td&gt;GPL-2.0-or-later&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Qt&lt;/td&gt;&lt;td&gt;LGPL-3.0-only&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;libyuv&lt;/td&gt;&lt;td&gt;BSD-3-Clause&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;jsoncpp&lt;/td&gt;&lt;td&gt;MIT&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;PulseAudio&lt;/td&gt;&lt;td&gt;LGPL-2.1-or-later&lt;/td&gt;&lt;/tr&gt;&lt;/table&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;This program is free software under the GNU General Public License, version 2 or (at your option) any later version (GPL-2.0-or-later), without any warranty.&lt;/p&gt;&lt;p&gt;Built on:&lt;/p&gt;&lt;table cellspacing=&quot;2&quot;&gt;&lt;tr&gt;&lt;td&gt;FFmpeg&lt;/td&gt;&lt;td&gt;LGPL-2.1-or-later (GPL-2.0-or-later when built with x264)&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;x264&lt;/td&gt;&lt;td&gt;GPL-2.0-or-later&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Qt&lt;/td&gt;&lt;td&gt;LGPL-3.0-only&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;libyuv&lt;/td&gt;&lt;td&gt;BSD-3-Clause&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;jsoncpp&lt;/td&gt;&lt;td&gt;MIT&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;PulseAudio&lt;/td&gt;&lt;td&gt;LGPL-2.1-or-later&lt;/td&gt;&lt;/tr&gt;&lt;/table&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>关于 Murovent</source>
        <translation>About Murovent</translation>
    </message>
    <message>
        <source>------------------------------------------</source>
        <translation>------------------------------------------</translation>
    </message>
    <message>
        <source>
                新版本信息               </source>
        <translation>
                New version               </translation>
    </message>
    <message>
        <source>------------------------------------------
</source>
        <translation>------------------------------------------
</translation>
    </message>
    <message>
        <source>&gt; 新 版 本:  %1 
</source>
        <translation>&gt; Version:      %1 
</translation>
    </message>
    <message>
        <source>&gt; 发布时间:  %1
</source>
        <translation>&gt; Released:     %1
</translation>
    </message>
    <message>
        <source>&gt; 备    注:  %1
</source>
        <translation>&gt; Notes:        %1
</translation>
    </message>
    <message>
        <source>&gt; 功能描述:  %1
</source>
        <translation>&gt; Description:  %1
</translation>
    </message>
</context>
<context>
    <name>ZMFolderOpener</name>
    <message>
        <source>找不到 xdg-open (%1)</source>
        <translation>xdg-open is missing (%1)</translation>
    </message>
    <message>
        <source>xdg-open 以代码 %1 结束</source>
        <translation>xdg-open ended with code %1</translation>
    </message>
</context>
<context>
    <name>ZMGrabAudio</name>
    <message>
        <source>只能录制 16 位的声音（要求的是 %1 位）。</source>
        <translation>Only 16-bit sound can be recorded (%1 bits were asked for).</translation>
    </message>
    <message>
        <source>没有可用的麦克风：找不到声音服务器或录音设备。</source>
        <translation>No microphone: no sound server or recording device was found.</translation>
    </message>
    <message>
        <source>麦克风“%1”不能提供 16 位的声音。</source>
        <translation>The microphone &quot;%1&quot; cannot deliver 16-bit sound.</translation>
    </message>
    <message>
        <source>无法打开麦克风（错误 %1）。</source>
        <translation>The microphone cannot be opened (error %1).</translation>
    </message>
    <message>
        <source>找不到名为“%1”的麦克风。</source>
        <translation>There is no microphone named &quot;%1&quot;.</translation>
    </message>
</context>
<context>
    <name>ZMMonitorChoice</name>
    <message>
        <source>显示器</source>
        <translation>Monitor</translation>
    </message>
    <message>
        <source>全屏录制的显示器</source>
        <translation>The monitor that full-screen mode records</translation>
    </message>
    <message>
        <source>主窗口所在的显示器</source>
        <translation>The monitor of the main window</translation>
    </message>
    <message>
        <source>全部显示器</source>
        <translation>All monitors</translation>
    </message>
    <message>
        <source> (主显示器)</source>
        <translation> (primary)</translation>
    </message>
    <message>
        <source>所选的显示器 %1 已不存在, 请重新选择显示器!</source>
        <translation>The chosen monitor %1 is gone, please choose a monitor again!</translation>
    </message>
</context>
<context>
    <name>ZMNotifier</name>
    <message>
        <source>打开文件夹</source>
        <translation>Open folder</translation>
    </message>
</context>
<context>
    <name>ZMSoundChoice</name>
    <message>
        <source>同时录制麦克风</source>
        <translation>Also the microphone</translation>
    </message>
    <message>
        <source>同时录制麦克风和系统声音, 混合为一条声轨</source>
        <translation>Record the microphone together with the system sound, mixed into one track</translation>
    </message>
    <message>
        <source>设备</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>选择麦克风和系统声音的设备</source>
        <translation>Choose the devices of the microphone and the system sound</translation>
    </message>
    <message>
        <source>麦克风</source>
        <translation>Microphone</translation>
    </message>
    <message>
        <source>系统声音 (输出设备)</source>
        <translation>System sound (output device)</translation>
    </message>
    <message>
        <source>默认设备</source>
        <translation>Default device</translation>
    </message>
    <message>
        <source>%1 (未连接)</source>
        <translation>%1 (not connected)</translation>
    </message>
</context>
<context>
    <name>ZMSoundDevices</name>
    <message>
        <source>无法连接声音服务器</source>
        <translation>Cannot connect to the sound server</translation>
    </message>
    <message>
        <source>无法查询声音服务器的设备</source>
        <translation>Cannot ask the sound server for its devices</translation>
    </message>
    <message>
        <source>%1：服务器没有应答。</source>
        <translation>%1: the server does not answer.</translation>
    </message>
    <message>
        <source>声音服务器没有名为“%1”的录音设备（麦克风）。</source>
        <translation>The sound server has no recording device (microphone) named &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>声音服务器没有名为“%1”的输出设备，无法录制它的系统声音。</source>
        <translation>The sound server has no output device named &quot;%1&quot;; its system sound cannot be recorded.</translation>
    </message>
</context>
<context>
    <name>ZMVideoOptionsBox</name>
    <message>
        <source>视频编码</source>
        <translation>Video encoding</translation>
    </message>
    <message>
        <source>录制中断时两种格式都只丢失最后约一秒</source>
        <translation>If a recording is interrupted, either format loses only about its last second</translation>
    </message>
    <message>
        <source>自动</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>x264 的 CRF: 数值越小画质越好, 文件越大</source>
        <translation>x264&apos;s CRF: a lower value gives a better picture and a larger file</translation>
    </message>
    <message>
        <source>越慢的预设文件越小, 但更耗 CPU</source>
        <translation>Slower presets give smaller files but use more CPU</translation>
    </message>
    <message>
        <source>格式</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>质量 (CRF)</source>
        <translation>Quality (CRF)</translation>
    </message>
    <message>
        <source>预设</source>
        <translation>Preset</translation>
    </message>
</context>
<context>
    <name>ZMWindow</name>
    <message>
        <source>MainWindow</source>
        <translation>MainWindow</translation>
    </message>
    <message>
        <source>Murovent --[iZolmet &amp;&amp; KX]Zolmet出品</source>
        <translation>Murovent --[iZolmet &amp;&amp; KX] by Zolmet</translation>
    </message>
    <message>
        <source>Murovent (Zolmet录屏): </source>
        <translation>Murovent (Zolmet screen recorder): </translation>
    </message>
    <message>
        <source>视频录制已停止 .</source>
        <translation>Recording stopped .</translation>
    </message>
    <message>
        <source>视频录制已开始 !</source>
        <translation>Recording started !</translation>
    </message>
    <message>
        <source>视频录制已暂停 ~~</source>
        <translation>Recording paused ~~</translation>
    </message>
    <message>
        <source>继续录制 ...</source>
        <translation>Recording again ...</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>  软件正在运行中...... </source>
        <translation>  Murovent is running already...... </translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
