<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>AccountView</name>
    <message>
        <source>Account</source>
        <translation>账户</translation>
    </message>
    <message>
        <source>To use Velmar PC you must log in with your Melodrome account</source>
        <translation>使用 Velmar PC 前，请登录您的 Melodrome 账户</translation>
    </message>
    <message>
        <source>E-Mail</source>
        <translation>电子邮箱</translation>
    </message>
    <message>
        <source>Insert email</source>
        <translation>输入电子邮箱</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>密码</translation>
    </message>
    <message>
        <source>Insert Password</source>
        <translation>输入密码</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>设备 ID</translation>
    </message>
    <message>
        <source>SongNet Credit</source>
        <translation>SongNet 余额</translation>
    </message>
    <message>
        <source>Login</source>
        <translation>登录</translation>
    </message>
    <message>
        <source>Don&apos;t you have a Melodrome account? Click here to create a new one</source>
        <translation>还没有 Melodrome 账户？点击这里创建一个</translation>
    </message>
    <message>
        <source>Did you forget your password? Click here to recover it</source>
        <translation>忘记密码？点击这里找回</translation>
    </message>
    <message>
        <source>User</source>
        <translation>用户</translation>
    </message>
    <message>
        <source>Logout</source>
        <translation>退出登录</translation>
    </message>
    <message>
        <source>Logging in…</source>
        <translation>正在登录…</translation>
    </message>
    <message>
        <source>You are not logged in: %1.
Check the internet connection and press Login again.</source>
        <translation>未登录：%1。
请检查网络连接，然后再次点击登录。</translation>
    </message>
    <message>
        <source>You are not logged in: %1.</source>
        <translation>未登录：%1。</translation>
    </message>
    <message>
        <source>Wrong e-mail or password</source>
        <translation>电子邮件或密码错误</translation>
    </message>
</context>
<context>
    <name>ControlTrackSmall</name>
    <message>
        <source>Form</source>
        <translation>窗体</translation>
    </message>
    <message>
        <source>Ch. %1 -</source>
        <translation>通道 %1 -</translation>
    </message>
    <message>
        <source>Play this channel</source>
        <translation>播放此通道</translation>
    </message>
    <message>
        <source>Mute this channel</source>
        <translation>静音此通道</translation>
    </message>
    <message>
        <source>Play this channel alone</source>
        <translation>只播放此通道</translation>
    </message>
    <message>
        <source>Undo this channel&apos;s changes</source>
        <translation>撤销此通道的更改</translation>
    </message>
</context>
<context>
    <name>DialogCopyFiles</name>
    <message>
        <source>Import files</source>
        <translation>导入文件</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Copying %1 files</source>
        <translation>正在复制 %1 个文件</translation>
    </message>
    <message>
        <source>Copying %1 of </source>
        <translation>正在复制 %1 / </translation>
    </message>
</context>
<context>
    <name>DownloadMngr</name>
    <message>
        <source>This file already exists</source>
        <translation>文件已存在</translation>
    </message>
    <message>
        <source>This file is already present, overwrite?</source>
        <translation>此文件已存在，是否覆盖？</translation>
    </message>
    <message>
        <source>the server announced no file size</source>
        <translation>服务器未告知文件大小</translation>
    </message>
    <message>
        <source>the disk is full or cannot be written</source>
        <translation>磁盘已满或无法写入</translation>
    </message>
    <message>
        <source>%1 of %2 bytes arrived</source>
        <translation>只收到了 %2 字节中的 %1 字节</translation>
    </message>
    <message>
        <source>the server named no web address for the file</source>
        <translation>服务器没有给出该文件的网址</translation>
    </message>
    <message>
        <source>the disk of %1 is full</source>
        <translation>%1 所在的磁盘已满</translation>
    </message>
    <message>
        <source>the folder %1 is read-only</source>
        <translation>文件夹 %1 为只读</translation>
    </message>
    <message>
        <source>the song&apos;s name is too long for the folder %1</source>
        <translation>歌曲名称对于文件夹 %1 来说太长</translation>
    </message>
    <message>
        <source>the file cannot be written in %1 (%2)</source>
        <translation>无法在 %1 中写入文件（%2）</translation>
    </message>
</context>
<context>
    <name>InstrChooserPopup</name>
    <message>
        <source>Form</source>
        <translation>窗体</translation>
    </message>
    <message>
        <source>Piano</source>
        <translation>钢琴</translation>
    </message>
    <message>
        <source>Chromatic Percussion</source>
        <translation>半音阶打击乐器</translation>
    </message>
    <message>
        <source>Organ</source>
        <translation>风琴</translation>
    </message>
    <message>
        <source>Guitar</source>
        <translation>吉他</translation>
    </message>
    <message>
        <source>Bass</source>
        <translation>贝斯</translation>
    </message>
    <message>
        <source>Strings</source>
        <translation>弦乐</translation>
    </message>
    <message>
        <source>Ensemble</source>
        <translation>合奏</translation>
    </message>
    <message>
        <source>Brass</source>
        <translation>铜管乐器</translation>
    </message>
    <message>
        <source>Reed</source>
        <translation>簧管乐器</translation>
    </message>
    <message>
        <source>Pipe</source>
        <translation>吹管乐器</translation>
    </message>
    <message>
        <source>Synth Lead</source>
        <translation>合成主音</translation>
    </message>
    <message>
        <source>Synth Pad</source>
        <translation>合成音垫</translation>
    </message>
    <message>
        <source>Synth Effects</source>
        <translation>合成效果</translation>
    </message>
    <message>
        <source>Ethnic</source>
        <translation>民族乐器</translation>
    </message>
    <message>
        <source>Percussive</source>
        <translation>打击乐器</translation>
    </message>
    <message>
        <source>Sound Effects</source>
        <translation>音效</translation>
    </message>
</context>
<context>
    <name>KaraokeTextWidget</name>
    <message>
        <source>New Karaoke window</source>
        <translation>新建卡拉OK窗口</translation>
    </message>
    <message>
        <source>Unpin Karaoke window</source>
        <translation>分离卡拉OK窗口</translation>
    </message>
    <message>
        <source>Fullscreen Karaoke window</source>
        <translation>全屏卡拉OK窗口</translation>
    </message>
    <message>
        <source>Reduce screen</source>
        <translation>退出全屏</translation>
    </message>
    <message>
        <source>Full screen</source>
        <translation>全屏</translation>
    </message>
</context>
<context>
    <name>LyricsModel</name>
    <message>
        <source>Text NOT found</source>
        <translation>未找到歌词</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Loading...</source>
        <translation>正在加载...</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>音量</translation>
    </message>
    <message>
        <source>Melody CH</source>
        <translation>旋律通道</translation>
    </message>
    <message>
        <source>Melody Mute</source>
        <translation>旋律静音</translation>
    </message>
    <message>
        <source>Fullscreen Window</source>
        <translation>全屏窗口</translation>
    </message>
    <message>
        <source>Unpin Window</source>
        <translation>分离窗口</translation>
    </message>
    <message>
        <source>Karaoke</source>
        <translation>卡拉OK</translation>
    </message>
    <message>
        <source>Library</source>
        <translation>曲库</translation>
    </message>
    <message>
        <source>Editing</source>
        <translation>编辑</translation>
    </message>
    <message>
        <source>Mixer</source>
        <translation>调音台</translation>
    </message>
    <message>
        <source>Chords</source>
        <translation>和弦</translation>
    </message>
    <message>
        <source>Report an Error</source>
        <translation>报告错误</translation>
    </message>
    <message>
        <source>File</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>导入</translation>
    </message>
    <message>
        <source>Attention</source>
        <translation>注意</translation>
    </message>
    <message>
        <source>Melody ON</source>
        <translation>旋律 开</translation>
    </message>
    <message>
        <source>Melody OFF</source>
        <translation>旋律 关</translation>
    </message>
    <message>
        <source>Melody SEMI</source>
        <translation>旋律 半</translation>
    </message>
    <message>
        <source>Errored</source>
        <translation>导入错误</translation>
    </message>
    <message>
        <source>These files cannot be copied because they do not seem to be song files:</source>
        <translation>以下文件无法复制，因为它们似乎不是歌曲文件：</translation>
    </message>
    <message>
        <source>Duplicated Entries</source>
        <translation>重复项</translation>
    </message>
    <message>
        <source>These songs cannot be copied because they&apos;re already present:</source>
        <translation>以下歌曲无法复制，因为它们已存在：</translation>
    </message>
    <message>
        <source>All songs files</source>
        <translation>所有歌曲文件</translation>
    </message>
    <message>
        <source>MIDI files</source>
        <translation>MIDI 文件</translation>
    </message>
    <message>
        <source>MP3 files</source>
        <translation>MP3 文件</translation>
    </message>
    <message>
        <source>Fast Run</source>
        <translation>快速启动</translation>
    </message>
    <message>
        <source>Fast run: %1</source>
        <translation>快速启动：%1</translation>
    </message>
    <message>
        <source>Update available</source>
        <translation>有可用更新</translation>
    </message>
    <message>
        <source>An update is available, do you want to download it?</source>
        <translation>有可用更新，是否立即下载？</translation>
    </message>
    <message>
        <source>Downloading the update</source>
        <translation>正在下载更新</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>The downloaded update is damaged and was not installed.</source>
        <translation>下载的更新已损坏，未安装。</translation>
    </message>
    <message>
        <source>The update has been downloaded to:
%1
Close the program and install it from there.</source>
        <translation>更新已下载到：
%1
请关闭程序，然后从该位置安装。</translation>
    </message>
    <message>
        <source>An updated version of Timbra is available. Do you want to download it now?</source>
        <translation>Timbra 有新版本可用，是否立即下载？</translation>
    </message>
    <message>
        <source>The update could not be downloaded: %1.
Check the internet connection; the update is offered again at the next start of the program.</source>
        <translation>无法下载更新：%1。
请检查网络连接；下次启动程序时会再次提供此更新。</translation>
    </message>
    <message>
        <source>Changes not saved</source>
        <translation>更改未保存</translation>
    </message>
    <message>
        <source>These files are too large to be songs:</source>
        <translation>这些文件过大，不能作为歌曲：</translation>
    </message>
    <message>
        <source>These songs could not be copied:</source>
        <translation>这些歌曲无法复制：</translation>
    </message>
    <message>
        <source>The news of the week could not be fetched: %1.
Check the internet connection; the news are fetched again at the next start.</source>
        <translation>无法获取本周新歌：%1。
请检查网络连接；下次启动时将重新获取。</translation>
    </message>
    <message>
        <source>Sound bank</source>
        <translation>音色库</translation>
    </message>
    <message>
        <source>The sound bank of the software synthesizer is missing or cannot be read:
%1
MIDI songs make no sound without it. Download it now?</source>
        <translation>软件合成器的音色库缺失或无法读取：
%1
没有它，MIDI 歌曲无法发声。现在下载吗？</translation>
    </message>
    <message>
        <source>Try Again</source>
        <translation>重试</translation>
    </message>
    <message>
        <source>Quit Without Saving</source>
        <translation>不保存并退出</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>暂停</translation>
    </message>
    <message>
        <source>Go to a point of the song</source>
        <translation>跳到歌曲的某个位置</translation>
    </message>
    <message>
        <source>Account</source>
        <translation>账户</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>选项</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>文件夹</translation>
    </message>
    <message>
        <source>No web browser could be opened. The page to report an error is:
%1</source>
        <translation>无法打开网页浏览器。报告错误的页面是：
%1</translation>
    </message>
    <message>
        <source>The news of the week could not be fetched: %1.
The news are fetched again at the next start.</source>
        <translation>无法获取本周新歌：%1。
下次启动时将重新获取。</translation>
    </message>
    <message>
        <source>The update could not be downloaded: %1.
The update is offered again at the next start of the program.</source>
        <translation>无法下载更新：%1。
下次启动程序时会再次提供此更新。</translation>
    </message>
</context>
<context>
    <name>MelodromeManager</name>
    <message>
        <source>Not logged in</source>
        <translation>未登录</translation>
    </message>
    <message>
        <source>You&apos;re not logged in, please login then retry</source>
        <translation>您尚未登录，请登录后重试</translation>
    </message>
    <message>
        <source>Download in progress</source>
        <translation>正在下载</translation>
    </message>
    <message>
        <source>Another song is being downloaded, please retry when it has finished</source>
        <translation>另一首歌曲正在下载，请在下载完成后重试</translation>
    </message>
    <message>
        <source>the store gave no address for the song</source>
        <translation>商店未提供该歌曲的下载地址</translation>
    </message>
    <message>
        <source>the file that arrived is no song the program can read</source>
        <translation>收到的文件不是程序可以读取的歌曲</translation>
    </message>
    <message>
        <source>the library is in use by another program, so the song was not kept</source>
        <translation>曲库正被另一个程序使用，因此未保留该歌曲</translation>
    </message>
    <message>
        <source>the library file did not keep the song</source>
        <translation>曲库文件未保留该歌曲</translation>
    </message>
</context>
<context>
    <name>MelodyChannelPopup</name>
    <message>
        <source>Form</source>
        <translation>窗体</translation>
    </message>
    <message>
        <source>Select Melody Channel</source>
        <translation>选择旋律通道</translation>
    </message>
    <message>
        <source>Track %1</source>
        <translation>音轨 %1</translation>
    </message>
</context>
<context>
    <name>Mp3RW</name>
    <message>
        <source>its ID3 tag (version 2.2, unsynchronised or with a checksum) cannot be rewritten without damaging it</source>
        <translation>其 ID3 标签（2.2 版、非同步或带校验和）无法在不损坏的情况下重写</translation>
    </message>
</context>
<context>
    <name>NewWidgetWindow</name>
    <message>
        <source>Chords</source>
        <translation>和弦</translation>
    </message>
    <message>
        <source>Mixer</source>
        <translation>调音台</translation>
    </message>
    <message>
        <source>Editing</source>
        <translation>编辑</translation>
    </message>
    <message>
        <source>Library</source>
        <translation>曲库</translation>
    </message>
    <message>
        <source>Karaoke</source>
        <translation>卡拉OK</translation>
    </message>
</context>
<context>
    <name>ReplyWatch</name>
    <message>
        <source>the server did not answer in time</source>
        <translation>服务器未及时响应</translation>
    </message>
    <message>
        <source>the server answered with error %1</source>
        <translation>服务器返回错误 %1</translation>
    </message>
    <message>
        <source>the server cannot be reached</source>
        <translation>无法连接服务器</translation>
    </message>
    <message>
        <source>the connection broke off</source>
        <translation>连接中断</translation>
    </message>
    <message>
        <source>the server sent an empty answer</source>
        <translation>服务器返回了空响应</translation>
    </message>
    <message>
        <source>the answer arrived incomplete</source>
        <translation>响应不完整</translation>
    </message>
    <message>
        <source>the server&apos;s answer was too large</source>
        <translation>服务器的响应过大</translation>
    </message>
    <message>
        <source>the server sent the request on to another site (%1), where the program sends nothing</source>
        <translation>服务器将请求转到了另一个网站（%1），程序不会向其发送任何内容</translation>
    </message>
    <message>
        <source>no secure connection could be made with the server</source>
        <translation>无法与服务器建立安全连接</translation>
    </message>
    <message>
        <source>the network refused the request (error %1)</source>
        <translation>网络拒绝了请求（错误 %1）</translation>
    </message>
    <message>
        <source>the server closed the connection without answering as a web server does</source>
        <translation>服务器关闭了连接，没有像网页服务器那样应答</translation>
    </message>
    <message>
        <source>the store is busy; try again in a few minutes</source>
        <translation>商店正忙；请过几分钟再试</translation>
    </message>
    <message>
        <source>the store is busy; try again in a moment</source>
        <translation>商店正忙；请稍后再试</translation>
    </message>
    <message>
        <source>the store is busy; try again in %1 seconds</source>
        <translation>商店正忙；请在 %1 秒后再试</translation>
    </message>
    <message>
        <source>the store is busy; try again in %1 minutes</source>
        <translation>商店正忙；请在 %1 分钟后再试</translation>
    </message>
    <message>
        <source>the store is busy; try again in %1 hours</source>
        <translation>商店正忙；请在 %1 小时后再试</translation>
    </message>
</context>
<context>
    <name>SafeSave</name>
    <message>
        <source>the song file is read-only</source>
        <translation>歌曲文件为只读</translation>
    </message>
    <message>
        <source>the song&apos;s folder is read-only</source>
        <translation>歌曲所在文件夹为只读</translation>
    </message>
    <message>
        <source>%1 is a link</source>
        <translation>%1 是一个链接</translation>
    </message>
    <message>
        <source>%1 is not a file</source>
        <translation>%1 不是文件</translation>
    </message>
    <message>
        <source>%1 was made by a user who may not write the song</source>
        <translation>%1 由无权写入该歌曲的用户创建</translation>
    </message>
    <message>
        <source>%1 is larger than a song may be</source>
        <translation>%1 超出了歌曲允许的大小</translation>
    </message>
    <message>
        <source>%1, and is left alone</source>
        <translation>%1，因此不予处理</translation>
    </message>
    <message>
        <source>A save of %1 was cut off, and another file was put in its place since: it is not written over, and what %1 held before that save is kept in %2.</source>
        <translation>%1 的一次保存被中断，之后另一个文件被放到了它的位置：该文件不会被覆盖，%1 在那次保存之前的内容保存在 %2 中。</translation>
    </message>
    <message>
        <source>being saved by another user; try again</source>
        <translation>正在被其他用户保存；请稍后重试</translation>
    </message>
</context>
<context>
    <name>SeekTrackSlider</name>
    <message>
        <source>Position</source>
        <translation>位置</translation>
    </message>
    <message>
        <source>Bar: %1.1</source>
        <translation>小节：%1.1</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Options</source>
        <translation>选项</translation>
    </message>
    <message>
        <source>&lt;b&gt;Options&lt;/b&gt;</source>
        <translation>&lt;b&gt;选项&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Application</source>
        <translation>应用程序</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>语言</translation>
    </message>
    <message>
        <source>Double-click action</source>
        <translation>双击操作</translation>
    </message>
    <message>
        <source>Devices</source>
        <translation>设备</translation>
    </message>
    <message>
        <source>MIDI</source>
        <translation>MIDI</translation>
    </message>
    <message>
        <source>Audio</source>
        <translation>音频</translation>
    </message>
    <message>
        <source>Midi Settings</source>
        <translation>MIDI 设置</translation>
    </message>
    <message>
        <source>Chord</source>
        <translation>和弦</translation>
    </message>
    <message>
        <source>Fast Run</source>
        <translation>快速启动</translation>
    </message>
    <message>
        <source>Karaoke</source>
        <translation>卡拉OK</translation>
    </message>
    <message>
        <source>Text Font</source>
        <translation>文字字体</translation>
    </message>
    <message>
        <source>Text Size</source>
        <translation>文字大小</translation>
    </message>
    <message>
        <source>Text Alignment</source>
        <translation>文字对齐</translation>
    </message>
    <message>
        <source>Background image</source>
        <translation>背景图片</translation>
    </message>
    <message>
        <source>&lt;none&gt;</source>
        <translation>&lt;无&gt;</translation>
    </message>
    <message>
        <source>Background color</source>
        <translation>背景颜色</translation>
    </message>
    <message>
        <source>Lyrics</source>
        <translation>歌词</translation>
    </message>
    <message>
        <source>Lyrics Highlight</source>
        <translation>歌词高亮</translation>
    </message>
    <message>
        <source>Playback</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Key</source>
        <translation>移调</translation>
    </message>
    <message>
        <source>Tempo</source>
        <translation>速度</translation>
    </message>
    <message>
        <source>Lyrics time offset</source>
        <translation>歌词时间偏移</translation>
    </message>
    <message>
        <source>Restore Original Layout</source>
        <translation>恢复默认窗口布局</translation>
    </message>
    <message>
        <source>Rebuild Database</source>
        <translation>重建数据库</translation>
    </message>
    <message>
        <source>About Qt</source>
        <translation>关于 Qt</translation>
    </message>
    <message>
        <source>Italian</source>
        <translation>意大利式</translation>
    </message>
    <message>
        <source>International</source>
        <translation>国际通用</translation>
    </message>
    <message>
        <source>Small</source>
        <translation>小</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>中</translation>
    </message>
    <message>
        <source>Large</source>
        <translation>大</translation>
    </message>
    <message>
        <source>Center</source>
        <translation>居中</translation>
    </message>
    <message>
        <source>Left</source>
        <translation>左对齐</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>暂停</translation>
    </message>
    <message>
        <source>ATTENTION: Perform this operation only in case of malfunctions.</source>
        <translation>注意：仅在程序运行异常时执行此操作。</translation>
    </message>
    <message>
        <source>Do you want to proceed?</source>
        <translation>是否继续？</translation>
    </message>
    <message>
        <source>Attention</source>
        <translation>注意</translation>
    </message>
    <message>
        <source>Open Image</source>
        <translation>打开图片</translation>
    </message>
    <message>
        <source>Image Files (*.png *.jpg *.bmp)</source>
        <translation>图片文件 (*.png *.jpg *.bmp)</translation>
    </message>
    <message>
        <source>Cannot connect to the MIDI Device</source>
        <translation>无法连接到 MIDI 设备</translation>
    </message>
    <message>
        <source>It may be in use from another software, close the software and connect the device from the Options menu</source>
        <translation>该设备可能正被其他程序占用，请关闭该程序，然后在“选项”菜单中连接设备</translation>
    </message>
    <message>
        <source>No audio device</source>
        <translation>没有音频设备</translation>
    </message>
    <message>
        <source>It seems you&apos;ve no audio device in your PC, please plug a device and retry</source>
        <translation>您的电脑似乎没有音频设备，请连接设备后重试</translation>
    </message>
    <message>
        <source>Cannot connect to the audio device</source>
        <translation>无法连接到音频设备</translation>
    </message>
    <message>
        <source>Cannot disconnect the device while playing</source>
        <translation>播放时无法断开设备</translation>
    </message>
    <message>
        <source>Please select the device</source>
        <translation>请选择设备</translation>
    </message>
    <message>
        <source>Cannot connect to the audio Device</source>
        <translation>无法连接到音频设备</translation>
    </message>
    <message>
        <source>No real-time priority: the music keeps time with a little more delay</source>
        <translation>没有实时优先级：音乐以稍长的延迟保持节拍</translation>
    </message>
    <message>
        <source>Real-time priority: granted</source>
        <translation>实时优先级：已授予</translation>
    </message>
    <message>
        <source>The audio device %1 is not connected: the sound goes to %2.</source>
        <translation>音频设备 %1 未连接：声音改由 %2 输出。</translation>
    </message>
    <message>
        <source>The sound bank of the software synthesizer is missing or cannot be read: %1</source>
        <translation>软件合成器的音色库缺失或无法读取：%1</translation>
    </message>
    <message>
        <source>The MIDI output %1 could not be opened: MIDI songs play on %2.</source>
        <translation>无法打开 MIDI 输出 %1：MIDI 歌曲在 %2 上播放。</translation>
    </message>
    <message>
        <source>MIDI songs play on %1.</source>
        <translation>MIDI 歌曲在 %1 上播放。</translation>
    </message>
    <message>
        <source>The audio device %1 could not be opened: the sound goes to %2.</source>
        <translation>无法打开音频设备 %1：声音输出到 %2。</translation>
    </message>
    <message>
        <source>sequencer</source>
        <translation>音序器</translation>
    </message>
    <message>
        <source>synthesizer audio</source>
        <translation>合成器音频</translation>
    </message>
    <message>
        <source>song player audio</source>
        <translation>歌曲播放器音频</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1：%2</translation>
    </message>
    <message>
        <source>real-time priority</source>
        <translation>实时优先级</translation>
    </message>
    <message>
        <source>normal priority</source>
        <translation>普通优先级</translation>
    </message>
    <message>
        <source>Press Stop to change the outputs.</source>
        <translation>按“停止”后即可更改输出。</translation>
    </message>
    <message>
        <source>No sound server: the outputs chosen are used once it is back.</source>
        <translation>没有声音服务器：所选输出将在其恢复后使用。</translation>
    </message>
    <message>
        <source> ms</source>
        <translation> 毫秒</translation>
    </message>
</context>
<context>
    <name>SongRW</name>
    <message>
        <source>the program does not edit this kind of file</source>
        <translation>本程序不编辑此类文件</translation>
    </message>
    <message>
        <source>its backup cannot be read: %1</source>
        <translation>无法读取其备份：%1</translation>
    </message>
    <message>
        <source>there is no backup of the song</source>
        <translation>该歌曲没有备份</translation>
    </message>
    <message>
        <source>its backup could not be made: %1</source>
        <translation>无法创建其备份：%1</translation>
    </message>
    <message>
        <source>its backup is damaged: its MIDI data cannot be read</source>
        <translation>其备份已损坏：无法读取其 MIDI 数据</translation>
    </message>
</context>
<context>
    <name>SongTexts</name>
    <message>
        <source>&lt;UNKNOWN&gt;</source>
        <translation>&lt;未知&gt;</translation>
    </message>
</context>
<context>
    <name>SoundfontDialog</name>
    <message>
        <source>Timbra</source>
        <translation>Timbra</translation>
    </message>
    <message>
        <source>Turn your PC or Mac into a MIDI generator with professional sounds</source>
        <translation>将您的 PC 或 Mac 变成拥有专业音色的 MIDI 音源</translation>
    </message>
    <message>
        <source>In combination with Velmar PC you can play MIDI files with the highest audio quality</source>
        <translation>配合 Velmar PC，您可以用最高音质播放 MIDI 文件</translation>
    </message>
    <message>
        <source>Over 180 sounds and 18 drum kits are at your disposal</source>
        <translation>超过 180 种音色和 18 套鼓组供您使用</translation>
    </message>
    <message>
        <source>Download in progress...</source>
        <translation>正在下载...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Attention</source>
        <translation>注意</translation>
    </message>
</context>
<context>
    <name>SoundfontManager</name>
    <message>
        <source>Attention</source>
        <translation>注意</translation>
    </message>
    <message>
        <source>Timbra cannot be downloaded now, please try again later</source>
        <translation>暂时无法下载 Timbra，请稍后再试</translation>
    </message>
    <message>
        <source>Timbra needs to be downloaded. Do you want to proceed now?</source>
        <translation>需要下载 Timbra，是否立即继续？</translation>
    </message>
    <message>
        <source>Downloading Timbra...</source>
        <translation>正在下载 Timbra...</translation>
    </message>
    <message>
        <source>Are you sure you want to stop the Timbra download?</source>
        <translation>确定要停止下载 Timbra 吗？</translation>
    </message>
    <message>
        <source>Sound bank</source>
        <translation>音色库</translation>
    </message>
    <message>
        <source>The new sound bank could not be installed: %1.
The previous sound bank stays in use. Check the internet connection and try again later.</source>
        <translation>无法安装新的音色库：%1。
仍使用原来的音色库。请检查网络连接，稍后重试。</translation>
    </message>
    <message>
        <source>The sound bank could not be installed: %1.
The synthesizer stays silent without it. Check the internet connection and start the program again to retry.</source>
        <translation>无法安装音色库：%1。
没有音色库，合成器将无声。请检查网络连接，然后重新启动程序重试。</translation>
    </message>
    <message>
        <source>the downloaded file cannot be read</source>
        <translation>无法读取下载的文件</translation>
    </message>
    <message>
        <source>%1 of %2 bytes arrived</source>
        <translation>只收到了 %2 字节中的 %1 字节</translation>
    </message>
    <message>
        <source>the file is no sound bank</source>
        <translation>该文件不是音色库</translation>
    </message>
    <message>
        <source>the file cannot be written in %1</source>
        <translation>无法在 %1 中写入文件</translation>
    </message>
    <message>
        <source>the file that arrived is not the one the server announced</source>
        <translation>收到的文件不是服务器所告知的那个文件</translation>
    </message>
    <message>
        <source>The new sound bank could not be installed: %1.
The previous sound bank stays in use.</source>
        <translation>无法安装新的音色库：%1。
仍使用原来的音色库。</translation>
    </message>
    <message>
        <source>The sound bank could not be installed: %1.
The synthesizer stays silent without it; start the program again to retry.</source>
        <translation>无法安装音色库：%1。
没有音色库，合成器将无声；请重新启动程序重试。</translation>
    </message>
</context>
<context>
    <name>StartedSong</name>
    <message>
        <source>Cannot play this file</source>
        <translation>无法播放此文件</translation>
    </message>
    <message>
        <source>no such file</source>
        <translation>文件不存在</translation>
    </message>
    <message>
        <source>not a file: a folder, a device or a pipe</source>
        <translation>不是文件：是文件夹、设备或管道</translation>
    </message>
    <message>
        <source>cannot be read: %1</source>
        <translation>无法读取：%1</translation>
    </message>
    <message>
        <source>the file is empty</source>
        <translation>文件为空</translation>
    </message>
    <message>
        <source>too large for a song: %1, at most %2</source>
        <translation>作为歌曲过大：%1，最多 %2</translation>
    </message>
    <message>
        <source>not a song file the program plays</source>
        <translation>不是本程序可播放的歌曲文件</translation>
    </message>
    <message>
        <source>its MIDI data cannot be read</source>
        <translation>无法读取其 MIDI 数据</translation>
    </message>
    <message>
        <source>too large to play: its notes and other events take more than %1 once read</source>
        <translation>太大，无法播放：读取后其音符和其他事件超过 %1</translation>
    </message>
    <message>
        <source>too long to play: more than %1 bars</source>
        <translation>太长，无法播放：超过 %1 小节</translation>
    </message>
    <message>
        <source>too many lyric rows to show: more than %1</source>
        <translation>歌词行数太多，无法显示：超过 %1 行</translation>
    </message>
    <message>
        <source>too many lyric syllables to show: more than %1</source>
        <translation>歌词音节太多，无法显示：超过 %1 个</translation>
    </message>
    <message>
        <source>too many chords to show: more than %1</source>
        <translation>和弦太多，无法显示：超过 %1 个</translation>
    </message>
    <message>
        <source>its timing (a division of 0, or frames of film or video) is not one the program plays</source>
        <translation>其计时方式（分辨率为 0，或以电影或视频帧计）不是本程序能播放的</translation>
    </message>
    <message>
        <source>no audio the program can decode</source>
        <translation>没有本程序可解码的音频</translation>
    </message>
    <message>
        <source>the player could not load it</source>
        <translation>播放器无法加载它</translation>
    </message>
    <message>
        <source>The changes to %1 were not kept: %2.</source>
        <translation>对 %1 的更改未被保留：%2。</translation>
    </message>
    <message>
        <source>The changes to %1 are heard but will not be kept: %2.</source>
        <translation>对 %1 的更改可以听到，但不会被保留：%2。</translation>
    </message>
    <message>
        <source>The changes to %1 could not be written yet: %2. They are kept and will be written again at the next stop or when the program quits.</source>
        <translation>对 %1 的更改尚未写入：%2。更改已保留，将在下次停止或退出程序时再次写入。</translation>
    </message>
    <message>
        <source>The changes to %1 could not be written: %2.</source>
        <translation>无法写入对 %1 的更改：%2。</translation>
    </message>
    <message>
        <source>another song was put in its place before they were written</source>
        <translation>在写入之前，另一首歌曲已被放到它的位置</translation>
    </message>
    <message>
        <source>being saved by another user; try again</source>
        <translation>正在被其他用户保存；请稍后重试</translation>
    </message>
</context>
<context>
    <name>StoreAnswer</name>
    <message>
        <source>a web page came instead of the store&apos;s answer (the network may want you to sign in through a web browser first, or the store is under maintenance)</source>
        <translation>收到的是网页而不是商店的响应（网络可能需要先在浏览器中登录，或商店正在维护）</translation>
    </message>
    <message>
        <source>the store&apos;s answer cannot be read</source>
        <translation>无法读取商店的响应</translation>
    </message>
</context>
<context>
    <name>TitleBarWindow</name>
    <message>
        <source>Form</source>
        <translation>窗体</translation>
    </message>
    <message>
        <source>Pin the window</source>
        <translation>停靠窗口</translation>
    </message>
    <message>
        <source>Reduce to icon</source>
        <translation>最小化</translation>
    </message>
    <message>
        <source>Fullscreen window</source>
        <translation>全屏窗口</translation>
    </message>
    <message>
        <source>Close the window</source>
        <translation>关闭窗口</translation>
    </message>
    <message>
        <source>Reduce Window</source>
        <translation>退出全屏</translation>
    </message>
</context>
<context>
    <name>chordsView</name>
    <message>
        <source>Form</source>
        <translation>窗体</translation>
    </message>
    <message>
        <source>Piano</source>
        <translation>钢琴</translation>
    </message>
    <message>
        <source>Guitar</source>
        <translation>吉他</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>文字</translation>
    </message>
    <message>
        <source>There are no chords in this backing track</source>
        <translation>此伴奏中没有和弦</translation>
    </message>
</context>
<context>
    <name>editView</name>
    <message>
        <source>Form</source>
        <translation>窗体</translation>
    </message>
    <message>
        <source>Undo every change made to this song since it started</source>
        <translation>撤销此歌曲开始播放以来的所有更改</translation>
    </message>
    <message>
        <source>Restore the song&apos;s original settings</source>
        <translation>恢复歌曲的原始设置</translation>
    </message>
    <message>
        <source>Key down a semitone</source>
        <translation>降低一个半音</translation>
    </message>
    <message>
        <source>Key up a semitone</source>
        <translation>升高一个半音</translation>
    </message>
    <message>
        <source>Slower</source>
        <translation>减慢</translation>
    </message>
    <message>
        <source>Faster</source>
        <translation>加快</translation>
    </message>
    <message>
        <source>Restore the original settings</source>
        <translation>恢复原始设置</translation>
    </message>
    <message>
        <source>%1 has no copy of its original settings: the program has not saved changes into it.</source>
        <translation>%1 没有原始设置的副本：本程序尚未在其中保存过更改。</translation>
    </message>
    <message>
        <source>The original settings of %1 cannot be put back: %2.</source>
        <translation>无法恢复 %1 的原始设置：%2。</translation>
    </message>
    <message>
        <source>Put %1 back as it was before the program first saved changes into it? The key, tempo and mix saved since then are undone.</source>
        <translation>将 %1 恢复到本程序第一次在其中保存更改之前的样子？此后保存的调、速度和混音都将撤销。</translation>
    </message>
    <message>
        <source>%1 was changed by another program since the program first saved changes into it. Only its original key, tempo and mix are put back; the music stays as it is now. Put them back?</source>
        <translation>自本程序第一次在 %1 中保存更改以来，它已被另一个程序修改。只恢复其原始的调、速度和混音；音乐保持现在的样子。要恢复吗？</translation>
    </message>
    <message>
        <source>%1 has no copy of its original settings: %2.</source>
        <translation>%1 没有其原始设置的副本：%2。</translation>
    </message>
</context>
<context>
    <name>libraryView</name>
    <message>
        <source>Repertoire</source>
        <translation>曲目</translation>
    </message>
    <message>
        <source>Browse PC</source>
        <translation>浏览电脑</translation>
    </message>
    <message>
        <source>Songs</source>
        <translation>歌曲</translation>
    </message>
    <message>
        <source>Search results for:</source>
        <translation>搜索结果：</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>返回</translation>
    </message>
    <message>
        <source>Auto Play</source>
        <translation>自动播放</translation>
    </message>
    <message>
        <source>Add Song</source>
        <translation>添加歌曲</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>信息</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>New Playlist</source>
        <translation>新建播放列表</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>导入</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>标题</translation>
    </message>
    <message>
        <source>Artist</source>
        <translation>艺人</translation>
    </message>
    <message>
        <source>Genre</source>
        <translation>流派</translation>
    </message>
    <message>
        <source>Indexing...</source>
        <translation>正在建立索引...</translation>
    </message>
    <message>
        <source>Search on Melodrome website</source>
        <translation>在 Melodrome 网站上搜索</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>搜索</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>移除</translation>
    </message>
    <message>
        <source>Remove selected file or folder</source>
        <translation>移除所选文件或文件夹</translation>
    </message>
    <message>
        <source>Del</source>
        <translation>Del</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>类型</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>Path</source>
        <translation>路径</translation>
    </message>
    <message>
        <source>Playlists</source>
        <translation>播放列表</translation>
    </message>
    <message>
        <source>Attention</source>
        <translation>注意</translation>
    </message>
    <message>
        <source>Do you want to exit &quot;edit playlist&quot; mode?</source>
        <translation>是否退出“编辑播放列表”模式？</translation>
    </message>
    <message>
        <source>News of the week</source>
        <translation>本周新歌</translation>
    </message>
    <message>
        <source>Press &quot;Add Songs&quot; to select songs from your repertory and make the playlist</source>
        <translation>点击“添加歌曲”，从您的曲目中选择歌曲来创建播放列表</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>时长</translation>
    </message>
    <message>
        <source>BPM</source>
        <translation>BPM</translation>
    </message>
    <message>
        <source>Key</source>
        <translation>调性</translation>
    </message>
    <message>
        <source>Genres</source>
        <translation>流派</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>Cannot play file</source>
        <translation>无法播放文件</translation>
    </message>
    <message>
        <source>Cannot play:
This file seems deleted</source>
        <translation>无法播放：
此文件似乎已被删除</translation>
    </message>
    <message>
        <source>Added</source>
        <translation>已添加</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot be deleted: it stays in the library.</source>
        <translation>无法删除“%1”，它仍保留在曲库中。</translation>
    </message>
    <message>
        <source>Are you sure you want to remove selected songs from the playlist?</source>
        <translation>确定要从播放列表中移除所选歌曲吗？</translation>
    </message>
    <message>
        <source>Are you sure you want to delete the selected artists and related songs?</source>
        <translation>确定要删除所选艺人及其歌曲吗？</translation>
    </message>
    <message>
        <source>Are you sure you want to delete selected genres and related songs?</source>
        <translation>确定要删除所选流派及其歌曲吗？</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be deleted.</source>
        <translation>无法删除“%1”。</translation>
    </message>
    <message>
        <source>Title: %1
Artist: %2
Lenght: %3
BPM: %4
KEY: %5
Format: %6</source>
        <translation>标题：%1
艺人：%2
时长：%3
BPM：%4
调性：%5
格式：%6</translation>
    </message>
    <message>
        <source>Genre: %1 
Songs count: %2
</source>
        <translation>流派：%1 
歌曲数：%2
</translation>
    </message>
    <message>
        <source>Artist: %1 
Songs count: %2
</source>
        <translation>艺人：%1 
歌曲数：%2
</translation>
    </message>
    <message>
        <source>Detailed Info</source>
        <translation>详细信息</translation>
    </message>
    <message>
        <source>End</source>
        <translation>完成</translation>
    </message>
    <message>
        <source>Double click on a row to add the song to the playlist, press &quot;End&quot; when finished</source>
        <translation>双击某一行即可将歌曲添加到播放列表，完成后点击“完成”</translation>
    </message>
    <message>
        <source>Playlist name:</source>
        <translation>播放列表名称：</translation>
    </message>
    <message>
        <source>Rename Playlist</source>
        <translation>重命名播放列表</translation>
    </message>
    <message>
        <source>Title: %1
Artist: %2
Length: %3
BPM: %4
KEY: %5
Format: %6
Genre: %7
Autors: %8
Bought? :%9</source>
        <translation>标题：%1
艺人：%2
时长：%3
BPM：%4
调性：%5
格式：%6
流派：%7
作者：%8
已购买：%9</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>是</translation>
    </message>
    <message>
        <source>No</source>
        <translation>否</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be downloaded: %2. Check the internet connection and double-click the song to try again.</source>
        <translation>无法下载“%1”：%2。请检查网络连接，然后双击该歌曲重试。</translation>
    </message>
    <message>
        <source>The store&apos;s songs of this list cannot be shown: %1. Check the internet connection, go back and open it again.</source>
        <translation>无法显示此列表中的商店歌曲：%1。请检查网络连接，返回后重新打开。</translation>
    </message>
    <message>
        <source>The store cannot be searched now: %1. Your own songs are shown; check the internet connection and search again.</source>
        <translation>目前无法搜索商店：%1。显示的是您自己的歌曲；请检查网络连接后重新搜索。</translation>
    </message>
    <message>
        <source>The song&apos;s details cannot be shown: %1. Check the internet connection and press Info again.</source>
        <translation>无法显示歌曲详情：%1。请检查网络连接，然后再次点击“信息”。</translation>
    </message>
    <message>
        <source>Show or hide the side list</source>
        <translation>显示或隐藏侧边列表</translation>
    </message>
    <message>
        <source>No drive is indexed yet: choose a drive in the list to search its songs.</source>
        <translation>尚未索引任何驱动器：请在列表中选择一个驱动器以搜索其中的歌曲。</translation>
    </message>
    <message>
        <source>No song matches &quot;%1&quot; yet: %2 is still being indexed.</source>
        <translation>暂无与“%1”匹配的歌曲：%2 仍在索引中。</translation>
    </message>
    <message>
        <source>No song on %1 matches &quot;%2&quot;.</source>
        <translation>%1 上没有与“%2”匹配的歌曲。</translation>
    </message>
    <message>
        <source>Indexing %1... songs found: %2</source>
        <translation>正在索引 %1... 已找到歌曲：%2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be downloaded: %2.</source>
        <translation>无法下载“%1”：%2。</translation>
    </message>
    <message>
        <source>Delete &quot;%1&quot; from the library? Its file in the library folder is deleted too.</source>
        <translation>从曲库中删除“%1”吗？它在曲库文件夹中的文件也会被删除。</translation>
    </message>
    <message>
        <source>Delete the %1 selected songs from the library? Their files in the library folder are deleted too.</source>
        <translation>从曲库中删除所选的 %1 首歌曲吗？它们在曲库文件夹中的文件也会被删除。</translation>
    </message>
    <message>
        <source>Do you really want to delete the playlist &quot;%1&quot;?</source>
        <translation>确定要删除播放列表“%1”吗？</translation>
    </message>
    <message>
        <source>The store cannot be searched now: %1. Your own songs are shown.</source>
        <translation>目前无法搜索商店：%1。显示的是您自己的歌曲。</translation>
    </message>
    <message>
        <source>The store&apos;s songs of this list cannot be shown: %1.</source>
        <translation>无法显示此列表中的商店歌曲：%1。</translation>
    </message>
    <message>
        <source>The song&apos;s details cannot be shown: %1.</source>
        <translation>无法显示歌曲详情：%1。</translation>
    </message>
    <message>
        <source>The artist &quot;%1&quot; could not be deleted</source>
        <translation>无法删除艺人“%1”</translation>
    </message>
    <message>
        <source>The genre &quot;%1&quot; could not be deleted</source>
        <translation>无法删除流派“%1”</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be deleted from the library</source>
        <translation>无法从曲库中删除“%1”</translation>
    </message>
    <message>
        <source>The songs could not be removed from the playlist &quot;%1&quot;</source>
        <translation>无法从播放列表“%1”中移除歌曲</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be added to the playlist &quot;%2&quot;</source>
        <translation>无法将“%1”添加到播放列表“%2”</translation>
    </message>
    <message>
        <source>The playlist &quot;%1&quot; could not be made</source>
        <translation>无法创建播放列表“%1”</translation>
    </message>
    <message>
        <source>The playlist &quot;%1&quot; could not be renamed</source>
        <translation>无法重命名播放列表“%1”</translation>
    </message>
    <message>
        <source>The playlist &quot;%1&quot; could not be deleted</source>
        <translation>无法删除播放列表“%1”</translation>
    </message>
    <message>
        <source>The new order of the playlist &quot;%1&quot; could not be kept</source>
        <translation>无法保存播放列表“%1”的新顺序</translation>
    </message>
    <message>
        <source>the library file is read-only</source>
        <translation>曲库文件为只读</translation>
    </message>
    <message>
        <source>the disk is full</source>
        <translation>磁盘已满</translation>
    </message>
    <message>
        <source>the disk reported an error</source>
        <translation>磁盘报告了错误</translation>
    </message>
    <message>
        <source>the library file refused it (%1)</source>
        <translation>曲库文件拒绝了此更改（%1）</translation>
    </message>
    <message>
        <source>%1: %2. Nothing kept before is lost; changes are kept again once the library file can be written.</source>
        <translation>%1：%2。之前保存的内容均未丢失；曲库文件可写入后，更改将再次被保存。</translation>
    </message>
    <message>
        <source>That &quot;%1&quot; was played could not be kept for the recent songs</source>
        <translation>无法在最近播放中记录“%1”已播放</translation>
    </message>
    <message>
        <source>No playlist yet: make one with &quot;New Playlist&quot;</source>
        <translation>还没有播放列表：请用“新建播放列表”创建一个</translation>
    </message>
    <message>
        <source>The library file cannot be read now: %1. The list shows what it showed before.</source>
        <translation>现在无法读取曲库文件：%1。列表显示的是之前的内容。</translation>
    </message>
    <message>
        <source>The library file cannot be read now: %1. This list cannot be shown.</source>
        <translation>现在无法读取曲库文件：%1。无法显示此列表。</translation>
    </message>
    <message>
        <source>Songs added to the library: %1</source>
        <translation>已添加到曲库的歌曲：%1</translation>
    </message>
    <message>
        <source>&quot;%1&quot; was copied into the library folder but not registered</source>
        <translation>“%1”已复制到曲库文件夹，但未登记</translation>
    </message>
    <message>
        <source>the library is in use by another program</source>
        <translation>曲库正被另一个程序使用</translation>
    </message>
    <message>
        <source>The library is in use by another program: the list shows what it showed before, and is read again once the library is free.</source>
        <translation>曲库正被另一个程序使用：列表显示之前的内容，曲库空闲后会重新读取。</translation>
    </message>
    <message>
        <source>The library is in use by another program: this list is shown once the library is free.</source>
        <translation>曲库正被另一个程序使用：曲库空闲后会显示此列表。</translation>
    </message>
</context>
<context>
    <name>listItem</name>
    <message>
        <source>Title</source>
        <translation>标题</translation>
    </message>
    <message>
        <source>Recent</source>
        <translation>最近播放</translation>
    </message>
    <message>
        <source>All Songs</source>
        <translation>全部歌曲</translation>
    </message>
    <message>
        <source>Downloaded</source>
        <translation>已下载</translation>
    </message>
    <message>
        <source>news</source>
        <translation>新歌</translation>
    </message>
    <message>
        <source>Add the song to the playlist</source>
        <translation>将歌曲添加到播放列表</translation>
    </message>
    <message>
        <source>Rename the playlist</source>
        <translation>重命名播放列表</translation>
    </message>
    <message>
        <source>Delete the playlist</source>
        <translation>删除播放列表</translation>
    </message>
</context>
<context>
    <name>listItemDownloading</name>
    <message>
        <source>Title</source>
        <translation>标题</translation>
    </message>
    <message>
        <source>Artist</source>
        <translation>艺人</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>格式</translation>
    </message>
    <message>
        <source>Downloaded</source>
        <translation>已下载</translation>
    </message>
</context>
<context>
    <name>listItemStore</name>
    <message>
        <source>Title</source>
        <translation>标题</translation>
    </message>
    <message>
        <source>Artist</source>
        <translation>艺人</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>下载</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Velmar PC is already running.</source>
        <translation>Velmar PC 已在运行。</translation>
    </message>
    <message>
        <source>Velmar PC is already running on this library, but it does not answer: it may be stopped or busy.</source>
        <translation>Velmar PC 已在使用此曲库运行，但没有响应：它可能已停止或正忙。</translation>
    </message>
    <message>
        <source>Velmar PC is already running on this library, but it does not answer: it may be stopped or busy. %1 was not played.</source>
        <translation>Velmar PC 已在使用此曲库运行，但没有响应：它可能已停止或正忙。%1 未播放。</translation>
    </message>
    <message>
        <source>Attention</source>
        <translation>注意</translation>
    </message>
</context>
<context>
    <name>mixerView</name>
    <message>
        <source>Form</source>
        <translation>窗体</translation>
    </message>
    <message>
        <source>DRUMS</source>
        <translation>鼓</translation>
    </message>
    <message>
        <source>BASS</source>
        <translation>贝斯</translation>
    </message>
    <message>
        <source>GUITAR</source>
        <translation>吉他</translation>
    </message>
    <message>
        <source>KEYBOARDS</source>
        <translation>键盘</translation>
    </message>
    <message>
        <source>ORCHESTRA</source>
        <translation>管弦乐</translation>
    </message>
    <message>
        <source>WINDS</source>
        <translation>管乐</translation>
    </message>
    <message>
        <source>Play %1 alone</source>
        <translation>仅播放%1</translation>
    </message>
    <message>
        <source>Mute %1</source>
        <translation>静音%1</translation>
    </message>
    <message>
        <source>%1 channels</source>
        <translation>%1 通道</translation>
    </message>
</context>
<context>
    <name>statusBarHead</name>
    <message>
        <source>Time</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>格式</translation>
    </message>
    <message>
        <source>Bar</source>
        <translation>小节</translation>
    </message>
    <message>
        <source>KEY</source>
        <translation>调</translation>
    </message>
    <message>
        <source>No sound server</source>
        <translation>没有声音服务器</translation>
    </message>
    <message>
        <source>The sound server is gone: the song waits, paused, until it is back</source>
        <translation>声音服务器已断开：歌曲暂停等待，直到它恢复</translation>
    </message>
    <message>
        <source>%1 is not connected: the sound goes to the default output</source>
        <translation>%1 未连接：声音转到默认输出</translation>
    </message>
</context>
<context>
    <name>storeView</name>
    <message>
        <source>Store</source>
        <translation>商店</translation>
    </message>
    <message>
        <source>User Account</source>
        <translation>用户账户</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>搜索</translation>
    </message>
    <message>
        <source>Player</source>
        <translation>播放器</translation>
    </message>
    <message>
        <source>Melodrome</source>
        <translation>Melodrome</translation>
    </message>
    <message>
        <source>Thousands of backing tracks in archive, search your favorite</source>
        <translation>数千首伴奏，搜索您的最爱</translation>
    </message>
    <message>
        <source>News</source>
        <translation>新品</translation>
    </message>
    <message>
        <source>Account</source>
        <translation>账户</translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>下载</translation>
    </message>
    <message>
        <source>New MIDI Karaoke backing tracks</source>
        <translation>新的 MIDI 卡拉OK伴奏</translation>
    </message>
    <message>
        <source>Midi</source>
        <translation>MIDI</translation>
    </message>
    <message>
        <source>MP3</source>
        <translation>MP3</translation>
    </message>
    <message>
        <source>E-Mail</source>
        <translation>电子邮箱</translation>
    </message>
    <message>
        <source>User</source>
        <translation>用户</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>设备 ID</translation>
    </message>
    <message>
        <source>Logout</source>
        <translation>退出登录</translation>
    </message>
</context>
<context>
    <name>volumePopup</name>
    <message>
        <source>Form</source>
        <translation>窗体</translation>
    </message>
</context>
</TS>
