<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>AboutDialog</name>
    <message>
        <source>Copyright (C) VXTools developers. All rights reserved.</source>
        <translation>版权所有 (C) VXTools 开发者。保留所有权利。</translation>
    </message>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>VXTools - service tool for six-axis robot arms</source>
        <translation>VXTools - 六轴机械臂维护工具</translation>
    </message>
    <message>
        <source>VXTool Version %1</source>
        <translation>VXTool 版本 %1</translation>
    </message>
    <message>
        <source>ZPS Version %1.%2</source>
        <translation>ZPS 版本 %1.%2</translation>
    </message>
    <message>
        <source>Box Version %1.%2.%3</source>
        <translation>控制箱版本 %1.%2.%3</translation>
    </message>
    <message>
        <source>Algorithm Version %1</source>
        <translation>算法版本 %1</translation>
    </message>
    <message>
        <source>Firmware Version 0x%1</source>
        <translation>固件版本 0x%1</translation>
    </message>
    <message>
        <source>Warning: VXTools changes the settings of a live robot controller. Keep clear of the arm and check every value before you write it.</source>
        <translation>警告：VXTools 会修改正在运行的机器人控制器的设置。请远离机械臂，并在写入前检查每一个数值。</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
</context>
<context>
    <name>ConfigWidget_MachineOrigin</name>
    <message>
        <source>ConfigWidget_MachineOrigin</source>
        <translation>ConfigWidget_MachineOrigin</translation>
    </message>
    <message>
        <source>Axis1</source>
        <translation>轴1</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>Axis4</source>
        <translation>轴4</translation>
    </message>
    <message>
        <source>Axis2</source>
        <translation>轴2</translation>
    </message>
    <message>
        <source>Axis5</source>
        <translation>轴5</translation>
    </message>
    <message>
        <source>Axis3</source>
        <translation>轴3</translation>
    </message>
    <message>
        <source>Axis6</source>
        <translation>轴6</translation>
    </message>
    <message>
        <source>Machine Origin：</source>
        <translation>机械原点：</translation>
    </message>
    <message>
        <source>0,0</source>
        <translation>0,0</translation>
    </message>
    <message>
        <source>Get</source>
        <translation>读取</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Origin Set</source>
        <translation>原点设置</translation>
    </message>
    <message>
        <source>ERROR:%1 must be a whole number from -2147483648 to 2147483647 ! Nothing was set.</source>
        <translation>错误：%1 必须是 -2147483648 到 2147483647 之间的整数！未做任何设置。</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Network</source>
        <translation>网络</translation>
    </message>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>VXTools</source>
        <translation>VXTools</translation>
    </message>
    <message>
        <source>Menu</source>
        <translation>菜单</translation>
    </message>
    <message>
        <source>Maximize</source>
        <translation>最大化</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>还原</translation>
    </message>
    <message>
        <source>scope</source>
        <translation>示波器</translation>
    </message>
    <message>
        <source>config</source>
        <translation>配置</translation>
    </message>
    <message>
        <source>script</source>
        <translation>脚本</translation>
    </message>
</context>
<context>
    <name>QScopeSetting</name>
    <message>
        <source>Component List</source>
        <translation>部件列表</translation>
    </message>
    <message>
        <source>Link Data Capture</source>
        <translation>连杆数据采集</translation>
    </message>
    <message>
        <source>End Effector Data Capture</source>
        <translation>末端执行器数据采集</translation>
    </message>
    <message>
        <source>QScopeSetting</source>
        <translation>通道设置</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>全选</translation>
    </message>
    <message>
        <source>Deselect All</source>
        <translation>全不选</translation>
    </message>
    <message>
        <source>Component:</source>
        <translation>部件：</translation>
    </message>
    <message>
        <source>Link:</source>
        <translation>连杆：</translation>
    </message>
    <message>
        <source>End Effector:</source>
        <translation>末端执行器：</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Channel set:</source>
        <translation>通道组：</translation>
    </message>
    <message>
        <source>Save...</source>
        <translation>保存...</translation>
    </message>
    <message>
        <source>Recall</source>
        <translation>调用</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>Export...</source>
        <translation>导出...</translation>
    </message>
    <message>
        <source>Import...</source>
        <translation>导入...</translation>
    </message>
    <message>
        <source>Save Channel Set</source>
        <translation>保存通道组</translation>
    </message>
    <message>
        <source>Name of the set:</source>
        <translation>通道组名称：</translation>
    </message>
    <message>
        <source>Export Channel Set</source>
        <translation>导出通道组</translation>
    </message>
    <message>
        <source>Channel set (*.txt)</source>
        <translation>通道组 (*.txt)</translation>
    </message>
    <message>
        <source>The file %1 could not be written.</source>
        <translation>无法写入文件 %1。</translation>
    </message>
    <message>
        <source>Import Channel Set</source>
        <translation>导入通道组</translation>
    </message>
    <message>
        <source>Saved the set %1.</source>
        <translation>已保存通道组 %1。</translation>
    </message>
    <message>
        <source>Left out, not in this catalogue: %1</source>
        <translation>已略去本通道目录中没有的通道：%1</translation>
    </message>
    <message>
        <source>The file %1 could not be read.</source>
        <translation>无法读取文件 %1。</translation>
    </message>
    <message>
        <source>Imported the set %1.</source>
        <translation>已导入通道组 %1。</translation>
    </message>
    <message>
        <source>Imported the set %1. Left out, not in this catalogue: %2</source>
        <translation>已导入通道组 %1。已略去本通道目录中没有的通道：%2</translation>
    </message>
</context>
<context>
    <name>QwtScope</name>
    <message>
        <source>time(ms)</source>
        <translation>时间(ms)</translation>
    </message>
</context>
<context>
    <name>ScopeChannelSets</name>
    <message>
        <source>This is not a channel set file.</source>
        <translation>这不是通道组文件。</translation>
    </message>
</context>
<context>
    <name>ScopeChannels</name>
    <message>
        <source>Motor Position</source>
        <translation>电机位置</translation>
    </message>
    <message>
        <source>Motor Velocity</source>
        <translation>电机速度</translation>
    </message>
    <message>
        <source>Motor Current</source>
        <translation>电机电流</translation>
    </message>
    <message>
        <source>Motor Status</source>
        <translation>电机状态</translation>
    </message>
    <message>
        <source>Motor PCS</source>
        <translation>电机 PCS</translation>
    </message>
    <message>
        <source>Motor Vel</source>
        <translation>电机速度</translation>
    </message>
    <message>
        <source>ForceSensor</source>
        <translation>力传感器</translation>
    </message>
    <message>
        <source>Trigger open grab</source>
        <translation>触发开始采集</translation>
    </message>
    <message>
        <source>Trigger end grab</source>
        <translation>触发结束采集</translation>
    </message>
</context>
<context>
    <name>ScopeDerived</name>
    <message>
        <source>the channel name has no closing ]</source>
        <translation>通道名缺少右方括号 ]</translation>
    </message>
    <message>
        <source>empty channel name</source>
        <translation>通道名为空</translation>
    </message>
    <message>
        <source>the channel %1 is not chosen</source>
        <translation>通道 %1 未被选中</translation>
    </message>
    <message>
        <source>there is no channel %1</source>
        <translation>没有通道 %1</translation>
    </message>
    <message>
        <source>] without [</source>
        <translation>] 缺少对应的 [</translation>
    </message>
    <message>
        <source>unexpected character %1</source>
        <translation>意外的字符 %1</translation>
    </message>
    <message>
        <source>unknown name %1</source>
        <translation>未知名称 %1</translation>
    </message>
    <message>
        <source>a derived channel is one expression; this comma separates two</source>
        <translation>派生通道只能是一个表达式；此逗号分隔了两个表达式</translation>
    </message>
    <message>
        <source>= would assign; compare with ==</source>
        <translation>= 表示赋值；比较请用 ==</translation>
    </message>
    <message>
        <source>the expression ends too early</source>
        <translation>表达式过早结束</translation>
    </message>
    <message>
        <source>a closing parenthesis is missing</source>
        <translation>缺少右括号</translation>
    </message>
    <message>
        <source>unexpected parenthesis</source>
        <translation>意外的括号</translation>
    </message>
    <message>
        <source>wrong number of arguments</source>
        <translation>参数个数错误</translation>
    </message>
    <message>
        <source>type error: text where a number is needed</source>
        <translation>类型错误：此处需要数值而不是文本</translation>
    </message>
    <message>
        <source>syntax error: unexpected symbol</source>
        <translation>语法错误：意外的符号</translation>
    </message>
    <message>
        <source>the expression is empty</source>
        <translation>表达式为空</translation>
    </message>
    <message>
        <source>expected NAME[UNIT]=EXPRESSION</source>
        <translation>格式应为 名称[单位]=表达式</translation>
    </message>
    <message>
        <source>the name is empty</source>
        <translation>名称为空</translation>
    </message>
    <message>
        <source>a chosen channel is called %1 already</source>
        <translation>已有选中的通道名为 %1</translation>
    </message>
    <message>
        <source>at most %1 derived channels</source>
        <translation>派生通道最多 %1 个</translation>
    </message>
    <message>
        <source>two derived channels are called %1</source>
        <translation>有两个派生通道都名为 %1</translation>
    </message>
</context>
<context>
    <name>ScopeDerivedDialog</name>
    <message>
        <source>Derived Channels</source>
        <translation>派生通道</translation>
    </message>
    <message>
        <source>Name the chosen channels by their titles in brackets, e.g. [J1 Target ACS] - [J1 Actual ACS]. Functions: deriv(x) (change per second), movavg(x, n) (mean of the last n rows), abs, sqrt, sin, cos, exp, log, min, max; operators + - * / ^ and comparisons.</source>
        <translation>用方括号中的标题引用已选通道，例如 [J1 Target ACS] - [J1 Actual ACS]。函数：deriv(x)（每秒变化量）、movavg(x, n)（最近 n 行的平均值）、abs、sqrt、sin、cos、exp、log、min、max；运算符 + - * / ^ 及比较运算。</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>单位</translation>
    </message>
    <message>
        <source>Expression</source>
        <translation>表达式</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>添加</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>移除</translation>
    </message>
    <message>
        <source>Insert channel...</source>
        <translation>插入通道...</translation>
    </message>
    <message>
        <source>two derived channels are called %1</source>
        <translation>有两个派生通道都名为 %1</translation>
    </message>
    <message>
        <source>Row %1: %2</source>
        <translation>第 %1 行：%2</translation>
    </message>
    <message>
        <source>Row %1, position %2: %3</source>
        <translation>第 %1 行，第 %2 个字符：%3</translation>
    </message>
</context>
<context>
    <name>ScopePlotImageMenu</name>
    <message>
        <source>Save plot as image…</source>
        <translation>将曲线图保存为图片…</translation>
    </message>
    <message>
        <source>PNG image (*.png)</source>
        <translation>PNG 图片 (*.png)</translation>
    </message>
    <message>
        <source>SVG image (*.svg)</source>
        <translation>SVG 图片 (*.svg)</translation>
    </message>
    <message>
        <source>PDF document (*.pdf)</source>
        <translation>PDF 文档 (*.pdf)</translation>
    </message>
    <message>
        <source>Save Plot Image</source>
        <translation>保存曲线图图片</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>ERROR:Unsupported file formats !</source>
        <translation>错误：不支持的文件格式！</translation>
    </message>
    <message>
        <source>ERROR:Cannot write file %1 !</source>
        <translation>错误：无法写入文件 %1 ！</translation>
    </message>
    <message>
        <source>no plot</source>
        <translation>没有曲线图</translation>
    </message>
    <message>
        <source>PNG encoding failed</source>
        <translation>PNG 编码失败</translation>
    </message>
    <message>
        <source>PDF output failed</source>
        <translation>PDF 输出失败</translation>
    </message>
    <message>
        <source>nothing was drawn</source>
        <translation>没有绘制任何内容</translation>
    </message>
</context>
<context>
    <name>ScopeReadout</name>
    <message>
        <source>no samples in the range</source>
        <translation>范围内没有采样</translation>
    </message>
    <message>
        <source>no finite samples in the range</source>
        <translation>范围内没有有限值采样</translation>
    </message>
    <message>
        <source>curve</source>
        <translation>曲线</translation>
    </message>
    <message>
        <source>unit</source>
        <translation>单位</translation>
    </message>
    <message>
        <source>samples</source>
        <translation>采样数</translation>
    </message>
    <message>
        <source>min</source>
        <translation>最小值</translation>
    </message>
    <message>
        <source>max</source>
        <translation>最大值</translation>
    </message>
    <message>
        <source>p-p</source>
        <translation>峰峰值</translation>
    </message>
    <message>
        <source>mean</source>
        <translation>平均值</translation>
    </message>
    <message>
        <source>RMS</source>
        <translation>均方根</translation>
    </message>
    <message>
        <source>std dev</source>
        <translation>标准差</translation>
    </message>
    <message>
        <source>not numbers</source>
        <translation>非数值</translation>
    </message>
    <message>
        <source>t(A) ms</source>
        <translation>t(A) ms</translation>
    </message>
    <message>
        <source>t(B) ms</source>
        <translation>t(B) ms</translation>
    </message>
    <message>
        <source>dt ms</source>
        <translation>dt ms</translation>
    </message>
    <message>
        <source>1/dt Hz</source>
        <translation>1/dt Hz</translation>
    </message>
    <message>
        <source>at A</source>
        <translation>A 处</translation>
    </message>
    <message>
        <source>at B</source>
        <translation>B 处</translation>
    </message>
    <message>
        <source>dY</source>
        <translation>dY</translation>
    </message>
    <message>
        <source>statistics from</source>
        <translation>统计范围从</translation>
    </message>
    <message>
        <source>to</source>
        <translation>到</translation>
    </message>
    <message>
        <source>ms</source>
        <translation>ms</translation>
    </message>
</context>
<context>
    <name>ScopeReadoutPanel</name>
    <message>
        <source>No data on the plot: nothing to measure.</source>
        <translation>图上没有数据：无可测量。</translation>
    </message>
    <message>
        <source>A and B are at the same time: no time difference to measure.</source>
        <translation>A 与 B 位于同一时刻：没有时间差可测量。</translation>
    </message>
    <message>
        <source>curve</source>
        <translation>曲线</translation>
    </message>
    <message>
        <source>Statistics A..B</source>
        <translation>统计 A..B</translation>
    </message>
    <message>
        <source>Statistics of the visible range</source>
        <translation>可见范围的统计</translation>
    </message>
    <message>
        <source>working out…</source>
        <translation>计算中…</translation>
    </message>
    <message>
        <source>mean</source>
        <translation>平均值</translation>
    </message>
    <message>
        <source>std dev</source>
        <translation>标准差</translation>
    </message>
    <message numerus="yes">
        <source>%n curve(s) have no finite sample in the range.</source>
        <translation>
            <numerusform>%n 条曲线在范围内没有有限值采样。</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n curve(s) have a single sample in the range: no spread.</source>
        <translation>
            <numerusform>%n 条曲线在范围内只有一个采样：无离散度。</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Samples that are not numbers are left out (%n curve(s)).</source>
        <translation>
            <numerusform>非数值采样已略去（%n 条曲线）。</numerusform>
        </translation>
    </message>
    <message>
        <source>Ctrl+C copies the readout.</source>
        <translation>Ctrl+C 复制读数。</translation>
    </message>
</context>
<context>
    <name>ScopeSpectrum</name>
    <message>
        <source>The time stamps go back in time: no spectrum.</source>
        <translation>时间戳出现倒退：无法计算频谱。</translation>
    </message>
    <message>
        <source>%1 samples: a spectrum needs at least %2.</source>
        <translation>%1 个采样：频谱至少需要 %2 个。</translation>
    </message>
    <message>
        <source>%1 samples are not numbers.</source>
        <translation>%1 个采样不是数值。</translation>
    </message>
    <message>
        <source>All samples have the same time stamp: no spectrum.</source>
        <translation>所有采样的时间戳相同：无法计算频谱。</translation>
    </message>
    <message>
        <source>Too many samples for a spectrum.</source>
        <translation>采样过多，无法计算频谱。</translation>
    </message>
    <message>
        <source>%1 samples that are not numbers were left out.</source>
        <translation>已略去 %1 个非数值采样。</translation>
    </message>
    <message>
        <source>The time stamps have long gaps (up to %1 ms against a usual step of %2 ms): choose a range without them.</source>
        <translation>时间戳存在长间断（最长 %1 ms，通常步长 %2 ms）：请选择没有间断的范围。</translation>
    </message>
    <message>
        <source>The time stamps are not evenly spaced (steps %1 to %2 ms): the curve was resampled linearly to %3 even steps of %4 ms.</source>
        <translation>时间戳间隔不均匀（步长 %1 至 %2 ms）：曲线已线性重采样为 %3 个 %4 ms 的等间隔点。</translation>
    </message>
    <message>
        <source>Not enough memory for the spectrum.</source>
        <translation>内存不足，无法计算频谱。</translation>
    </message>
</context>
<context>
    <name>ScopeSpectrumWindow</name>
    <message>
        <source>Spectrum</source>
        <translation>频谱</translation>
    </message>
    <message>
        <source>Curve:</source>
        <translation>曲线：</translation>
    </message>
    <message>
        <source>dB</source>
        <translation>dB</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>更新</translation>
    </message>
    <message>
        <source>Work the spectrum out again from the plot as it is now</source>
        <translation>按当前图形重新计算频谱</translation>
    </message>
    <message>
        <source>Save Image…</source>
        <translation>保存图像…</translation>
    </message>
    <message>
        <source>frequency (Hz)</source>
        <translation>频率 (Hz)</translation>
    </message>
    <message>
        <source>amplitude</source>
        <translation>幅值</translation>
    </message>
    <message>
        <source>No curve with samples to analyse.</source>
        <translation>没有可分析的带采样曲线。</translation>
    </message>
    <message>
        <source>Spectrum of %1</source>
        <translation>%1 的频谱</translation>
    </message>
    <message>
        <source>A..B: %1 – %2 ms</source>
        <translation>A..B：%1 – %2 ms</translation>
    </message>
    <message>
        <source>Visible range: %1 – %2 ms</source>
        <translation>可见范围：%1 – %2 ms</translation>
    </message>
    <message>
        <source>%1 samples at %2 Hz, Hann window, resolution %3 Hz.</source>
        <translation>%1 个采样，采样率 %2 Hz，汉宁窗，分辨率 %3 Hz。</translation>
    </message>
    <message>
        <source>amplitude (dB re 1 %1)</source>
        <translation>幅值 (dB，以 1 %1 为基准)</translation>
    </message>
    <message>
        <source>amplitude (%1)</source>
        <translation>幅值 (%1)</translation>
    </message>
    <message>
        <source>Largest peaks</source>
        <translation>最大峰值</translation>
    </message>
    <message>
        <source>No peak above 0 Hz.</source>
        <translation>0 Hz 以上没有峰值。</translation>
    </message>
</context>
<context>
    <name>VXPage_ZPSIPPortConfig</name>
    <message>
        <source>VXTools ZPS Connect</source>
        <translation>VXTools ZPS 连接</translation>
    </message>
    <message>
        <source>ZPS IP:</source>
        <translation>ZPS IP：</translation>
    </message>
    <message>
        <source>SetZPSIP</source>
        <translation>连接</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>VXPlugin_ConfigWidget</name>
    <message>
        <source>MachineOrigin</source>
        <translation>机械原点</translation>
    </message>
    <message>
        <source>VXPlugin_ConfigWidget</source>
        <translation>VXPlugin_ConfigWidget</translation>
    </message>
</context>
<context>
    <name>VXPlugin_Scope</name>
    <message>
        <source>VXPlugin_Scope</source>
        <translation>VXPlugin_Scope</translation>
    </message>
    <message>
        <source>ZPS CPU:</source>
        <translation>ZPS CPU：</translation>
    </message>
    <message>
        <source>0.0</source>
        <translation>0.0</translation>
    </message>
    <message>
        <source>%</source>
        <translation>%</translation>
    </message>
    <message>
        <source>ZPS Mem:</source>
        <translation>ZPS 内存：</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>MB</source>
        <translation>MB</translation>
    </message>
    <message>
        <source>ReadScopeCycMax:</source>
        <translation>最大采样周期：</translation>
    </message>
    <message>
        <source>ms</source>
        <translation>ms</translation>
    </message>
    <message>
        <source>ReadScopeCyc:</source>
        <translation>采样周期：</translation>
    </message>
    <message>
        <source>%1 rows missing in %2 gaps</source>
        <translation>缺失 %1 行（%2 处间断）</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>开始</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Reset View</source>
        <translation>复位视图</translation>
    </message>
    <message>
        <source>Stop when Error</source>
        <translation>出错时停止</translation>
    </message>
    <message>
        <source>Setting</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Import from File</source>
        <translation>从文件导入</translation>
    </message>
    <message>
        <source>Export to File</source>
        <translation>导出到文件</translation>
    </message>
    <message>
        <source>Period Time:</source>
        <translation>周期时间：</translation>
    </message>
    <message>
        <source>Trigger Condition</source>
        <translation>触发条件</translation>
    </message>
    <message>
        <source>绝对值</source>
        <translation>绝对值</translation>
    </message>
    <message>
        <source>Trigger Delay:</source>
        <translation>触发延时：</translation>
    </message>
    <message>
        <source>当前设置通道超出最大通道数</source>
        <translation>当前设置通道超出最大通道数</translation>
    </message>
    <message>
        <source>当前设置通道数 %1 ,超出最大通道数 36 !</source>
        <translation>当前设置通道数 %1 ,超出最大通道数 36 !</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>ERROR:Empty ScopeData!</source>
        <translation>错误：没有示波器数据！</translation>
    </message>
    <message>
        <source>Save File</source>
        <translation>保存文件</translation>
    </message>
    <message>
        <source>csv(*.csv)</source>
        <translation>csv(*.csv)</translation>
    </message>
    <message>
        <source>ERROR:Cannot write file %1 !</source>
        <translation>错误：无法写入文件 %1 ！</translation>
    </message>
    <message>
        <source>Open File</source>
        <translation>打开文件</translation>
    </message>
    <message>
        <source>ERROR:Unsupported file formats !</source>
        <translation>错误：不支持的文件格式！</translation>
    </message>
    <message>
        <source>ERROR:Line %1 is longer than 1 MiB, the file was not loaded !</source>
        <translation>错误：第 %1 行超过 1 MiB，文件未加载！</translation>
    </message>
    <message>
        <source>ERROR:The file holds more than %1 rows, it was not loaded !</source>
        <translation>错误：文件超过 %1 行，未加载！</translation>
    </message>
    <message>
        <source>ERROR:Cannot read file %1 !</source>
        <translation>错误：无法读取文件 %1 ！</translation>
    </message>
    <message>
        <source>Derived Channels</source>
        <translation>派生通道</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1（%2）</translation>
    </message>
    <message>
        <source>Derived channels left out: %1</source>
        <translation>已略去的派生通道：%1</translation>
    </message>
    <message>
        <source>f(x)</source>
        <translation>f(x)</translation>
    </message>
    <message>
        <source>A/B Cursors</source>
        <translation>A/B 光标</translation>
    </message>
    <message>
        <source>A/B cursors and statistics (Ctrl+K). On the plot: Shift+click or Shift+drag moves the nearer cursor, A or B chooses one, Left/Right steps it one sample. Ctrl+C copies the readout.</source>
        <translation>A/B 光标与统计 (Ctrl+K)。在图上：Shift+单击或 Shift+拖动移动较近的光标，A 或 B 选择光标，左/右方向键每次移动一个采样。Ctrl+C 复制读数。</translation>
    </message>
    <message>
        <source>Statistics</source>
        <translation>统计</translation>
    </message>
    <message>
        <source>Statistics of the visible curves over the visible range (between A and B while the cursors are on)</source>
        <translation>可见曲线在可见范围内的统计（光标打开时为 A 与 B 之间）</translation>
    </message>
    <message>
        <source>Spectrum…</source>
        <translation>频谱…</translation>
    </message>
    <message>
        <source>Amplitude spectrum of one curve between A and B (the visible range while the cursors are off)</source>
        <translation>一条曲线在 A 与 B 之间的幅值谱（光标关闭时为可见范围）</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Writing %1 ...</source>
        <translation>正在写入 %1 ...</translation>
    </message>
    <message>
        <source>Reading %1 ...</source>
        <translation>正在读取 %1 ...</translation>
    </message>
</context>
<context>
    <name>VXPlugin_ScriptWidget</name>
    <message>
        <source>VXPlugin_ScriptWidget</source>
        <translation>VXPlugin_ScriptWidget</translation>
    </message>
    <message>
        <source>Import Script</source>
        <translation>导入脚本</translation>
    </message>
    <message>
        <source>json(*.json)</source>
        <translation>json(*.json)</translation>
    </message>
    <message>
        <source>Open File</source>
        <translation>打开文件</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>ERROR:Cannot read the script file !</source>
        <translation>错误：无法读取脚本文件！</translation>
    </message>
    <message>
        <source>ERROR:Unsupported file formats !</source>
        <translation>错误：不支持的文件格式！</translation>
    </message>
    <message>
        <source>ERROR:Script file larger than 16 MiB !</source>
        <translation>错误：脚本文件超过 16 MiB！</translation>
    </message>
    <message>
        <source>ERROR:The controller did not accept the script !</source>
        <translation>错误：控制器未接受该脚本！</translation>
    </message>
    <message>
        <source>The file holds a NUL byte (at offset %1), so it cannot be sent as text.</source>
        <translation>文件含有 NUL 字节（偏移 %1 处），无法作为文本发送。</translation>
    </message>
    <message>
        <source>The file is not UTF-8 text, so it cannot be sent as text.</source>
        <translation>文件不是 UTF-8 文本，无法作为文本发送。</translation>
    </message>
</context>
</TS>
