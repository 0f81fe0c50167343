<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>epub2pdf</name>
    <message>
        <source>EPUB转PDF转换器</source>
        <translation>EPUB to PDF Converter</translation>
    </message>
    <message>
        <source>准备转换</source>
        <translation>Waiting</translation>
    </message>
    <message>
        <source>转换中</source>
        <translation>Converting</translation>
    </message>
    <message>
        <source>转换完成</source>
        <translation>Converted</translation>
    </message>
    <message>
        <source>转换完成（有警告）</source>
        <translation>Converted with warnings</translation>
    </message>
    <message>
        <source>转换失败</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>转换出错</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>已取消</source>
        <translation>Cancelled</translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>%1：文件夹里没有epub文件</source>
        <translation>%1: no EPUB file in this folder</translation>
    </message>
    <message>
        <source>%1：不是epub文件</source>
        <translation>%1: not an EPUB file</translation>
    </message>
    <message>
        <source>%1：不是epub文件（epub文件是ZIP压缩包）</source>
        <translation>%1: not an EPUB file (an EPUB is a ZIP archive)</translation>
    </message>
    <message>
        <source>无法写入设置文件：%1</source>
        <translation>Cannot write the settings file: %1</translation>
    </message>
    <message>
        <source>无法使用输出文件夹：%1</source>
        <translation>Cannot use the output folder: %1</translation>
    </message>
    <message>
        <source>%1：文件不存在</source>
        <translation>%1: no such file</translation>
    </message>
    <message>
        <source>以下没有添加：</source>
        <translation>These were not added:</translation>
    </message>
    <message>
        <source>正在转换中</source>
        <translation>A conversion is running</translation>
    </message>
    <message>
        <source>先添加epub文件到列表中才能开始转换</source>
        <translation>Add EPUB files to the list before starting the conversion</translation>
    </message>
    <message>
        <source>打开文件夹</source>
        <translation>Open folder</translation>
    </message>
    <message>
        <source>已停止转换</source>
        <translation>Conversion stopped</translation>
    </message>
    <message>
        <source>成功%1本，失败%2本</source>
        <translation>%1 converted, %2 failed</translation>
    </message>
    <message>
        <source>输出文件夹：%1</source>
        <translation>Output folder: %1</translation>
    </message>
    <message>
        <source>正在转换中,是否退出?</source>
        <translation>A conversion is running. Quit anyway?</translation>
    </message>
    <message>
        <source>该epub还没有转换成pdf</source>
        <translation>This EPUB has not been converted to PDF yet</translation>
    </message>
    <message>
        <source>查看epub</source>
        <translation>Show EPUB</translation>
    </message>
    <message>
        <source>移除</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>添加EPUB</source>
        <translation>Add EPUB</translation>
    </message>
    <message>
        <source>开始转换</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>转换列表</source>
        <translation>Conversions</translation>
    </message>
    <message>
        <source>已完成</source>
        <translation>Finished</translation>
    </message>
    <message>
        <source>清除已完成</source>
        <translation>Clear converted</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>与每本书相同的文件夹</source>
        <translation>each book's folder</translation>
    </message>
    <message>
        <source>选择…</source>
        <translation>Choose…</translation>
    </message>
    <message>
        <source>纸张</source>
        <translation>Paper</translation>
    </message>
    <message>
        <source>横向</source>
        <translation>Landscape</translation>
    </message>
    <message>
        <source>页边距</source>
        <translation>Margins</translation>
    </message>
    <message>
        <source>缩放</source>
        <translation>Scale</translation>
    </message>
    <message>
        <source>页码</source>
        <translation>Page numbers</translation>
    </message>
    <message>
        <source>页眉显示书名</source>
        <translation>The book's title at the top of each page</translation>
    </message>
    <message>
        <source>同时转换</source>
        <translation>Books at once</translation>
    </message>
    <message>
        <source>浏览器</source>
        <translation>Browser</translation>
    </message>
    <message>
        <source>自动查找</source>
        <translation>Found automatically</translation>
    </message>
    <message>
        <source>PDF保存到哪个文件夹</source>
        <translation>Where to save the PDFs</translation>
    </message>
    <message>
        <source>EPUB电子书</source>
        <translation>EPUB e-books</translation>
    </message>
    <message>
        <source>列表中的书都已转换</source>
        <translation>Every book in the list is converted</translation>
    </message>
    <message>
        <source>转换结束，%1本失败</source>
        <translation>Finished; %1 failed</translation>
    </message>
    <message>
        <source>转换结束，%1本已取消</source>
        <translation>Finished; %1 cancelled</translation>
    </message>
    <message>
        <source>，取消%1本</source>
        <translation>, %1 cancelled</translation>
    </message>
    <message>
        <source>，停止%1本</source>
        <translation>, %1 stopped</translation>
    </message>
    <message>
        <source>；%1本有警告</source>
        <translation>; %1 with warnings</translation>
    </message>
    <message>
        <source>%1本已转换</source>
        <translation>%1 converted</translation>
    </message>
    <message>
        <source>%1本失败</source>
        <translation>%1 failed</translation>
    </message>
    <message>
        <source>%1本等待转换</source>
        <translation>%1 waiting</translation>
    </message>
    <message>
        <source>%1/%2本已完成</source>
        <translation>%1 of %2 done</translation>
    </message>
    <message>
        <source>无法打开%1</source>
        <translation>Cannot open %1</translation>
    </message>
    <message>
        <source>找不到帮助页</source>
        <translation>The help page cannot be found</translation>
    </message>
    <message>
        <source>把EPUB电子书转换成PDF：书签跟随目录，链接在PDF里仍然有效。</source>
        <translation>Turns EPUB e-books into PDF documents whose bookmarks follow the table of contents and whose links still work.</translation>
    </message>
    <message>
        <source>设置保存在：%1</source>
        <translation>Settings are kept in %1</translation>
    </message>
    <message>
        <source>版本 %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>关于%1</source>
        <translation>About %1</translation>
    </message>
    <message>
        <source>转换进度</source>
        <translation>Conversion progress</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>State</translation>
    </message>
    <message>
        <source>打开PDF</source>
        <translation>Open PDF</translation>
    </message>
    <message>
        <source>用默认的程序打开转换好的PDF</source>
        <translation>Open the converted PDF with its default program</translation>
    </message>
    <message>
        <source>在文件管理器中显示这本EPUB</source>
        <translation>Show this EPUB in the file manager</translation>
    </message>
    <message>
        <source>停止转换这本书；它等待下一次开始</source>
        <translation>Stop converting this book; it waits for the next start</translation>
    </message>
    <message>
        <source>从列表中移除这本书（文件不会删除）</source>
        <translation>Take this book off the list (the file stays)</translation>
    </message>
    <message>
        <source>%1页</source>
        <translation>%1 pages</translation>
    </message>
    <message>
        <source>把EPUB文件或文件夹拖到这里</source>
        <translation>Drop EPUB files or folders here</translation>
    </message>
    <message>
        <source>文件夹里的EPUB（连同子文件夹里的）都会加入列表。也可以按Ctrl+O选择文件。</source>
        <translation>The EPUB files of a folder (and of its subfolders) join the list. Ctrl+O chooses files too.</translation>
    </message>
    <message>
        <source>选择EPUB文件…</source>
        <translation>Choose EPUB files…</translation>
    </message>
    <message>
        <source>选择EPUB文件</source>
        <translation>Choose EPUB files</translation>
    </message>
    <message>
        <source>转换好的PDF会列在这里，下次打开时也在。</source>
        <translation>The PDFs you convert are listed here, also the next time you open the program.</translation>
    </message>
    <message>
        <source>文件已不在</source>
        <translation>the file is gone</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>在文件夹中显示</source>
        <translation>Show in folder</translation>
    </message>
    <message>
        <source>从列表中移除</source>
        <translation>Remove from list</translation>
    </message>
    <message>
        <source>添加EPUB…</source>
        <translation>Add EPUB…</translation>
    </message>
    <message>
        <source>选择要转换的EPUB文件（Ctrl+O）</source>
        <translation>Choose EPUB files to convert (Ctrl+O)</translation>
    </message>
    <message>
        <source>纸张、页边距、页码、输出文件夹和浏览器</source>
        <translation>Paper, margins, page numbers, output folder and browser</translation>
    </message>
    <message>
        <source>打开使用说明（F1）</source>
        <translation>Open the help (F1)</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>重试失败的</source>
        <translation>Retry failed</translation>
    </message>
    <message>
        <source>再次转换失败的书</source>
        <translation>Convert the failed books again</translation>
    </message>
    <message>
        <source>从列表中移除已转换的书（PDF不会删除）</source>
        <translation>Take the converted books off the list (the PDFs stay)</translation>
    </message>
    <message>
        <source>总进度</source>
        <translation>Overall progress</translation>
    </message>
    <message>
        <source>输出到：</source>
        <translation>Save PDFs to:</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>停止转换；已转换的保留，其余的等待下一次开始（Esc）</source>
        <translation>Stop converting; what converted stays, the rest waits for the next start (Esc)</translation>
    </message>
    <message>
        <source>转换列表中等待的书（Ctrl+Enter）</source>
        <translation>Convert the books waiting in the list (Ctrl+Enter)</translation>
    </message>
    <message>
        <source>正在转换</source>
        <translation>Converting</translation>
    </message>
    <message>
        <source>先添加EPUB文件</source>
        <translation>Add EPUB files first</translation>
    </message>
    <message>
        <source>每本书所在的文件夹</source>
        <translation>Each book's folder</translation>
    </message>
    <message>
        <source>PDF保存到：%1</source>
        <translation>PDFs are saved to: %1</translation>
    </message>
    <message>
        <source>输出到：%1</source>
        <translation>Save PDFs to: %1</translation>
    </message>
    <message>
        <source>选择文件夹…</source>
        <translation>Choose a folder…</translation>
    </message>
    <message>
        <source>在文件夹中显示PDF</source>
        <translation>Show PDF in folder</translation>
    </message>
    <message>
        <source>在文件夹中显示EPUB</source>
        <translation>Show EPUB in folder</translation>
    </message>
    <message>
        <source>转换列表（%1）</source>
        <translation>Conversions (%1)</translation>
    </message>
    <message>
        <source>已完成（%1）</source>
        <translation>Finished (%1)</translation>
    </message>
    <message>
        <source>页面预览</source>
        <translation>Page preview</translation>
    </message>
    <message>
        <source>%1 × %2 mm</source>
        <translation>%1 × %2 mm</translation>
    </message>
    <message>
        <source>书名</source>
        <translation>Title</translation>
    </message>
    <message>
        <source>剩余不到1分钟</source>
        <translation>less than a minute left</translation>
    </message>
    <message>
        <source>剩余约%1分钟</source>
        <translation>about %1 min left</translation>
    </message>
    <message>
        <source>输出</source>
        <translation>Output</translation>
    </message>
    <message>
        <source>PDF保存到</source>
        <translation>Save PDFs to</translation>
    </message>
    <message>
        <source>选择输出文件夹</source>
        <translation>Choose the output folder</translation>
    </message>
    <message>
        <source>留空：每个PDF放在它的EPUB旁边。</source>
        <translation>Empty: each PDF goes next to its EPUB.</translation>
    </message>
    <message>
        <source>页面</source>
        <translation>Page</translation>
    </message>
    <message>
        <source>自定义</source>
        <translation>Custom</translation>
    </message>
    <message>
        <source>纸张宽度</source>
        <translation>Paper width</translation>
    </message>
    <message>
        <source>纸张高度</source>
        <translation>Paper height</translation>
    </message>
    <message>
        <source>页边距：%1</source>
        <translation>Margin: %1</translation>
    </message>
    <message>
        <source>页码和页眉</source>
        <translation>Page numbers and header</translation>
    </message>
    <message>
        <source>页码位置</source>
        <translation>Page number position</translation>
    </message>
    <message>
        <source>首页（封面）不显示页码和页眉</source>
        <translation>No page number or header on the first page (the cover)</translation>
    </message>
    <message>
        <source>转换</source>
        <translation>Conversion</translation>
    </message>
    <message>
        <source>自动（按本机能力）</source>
        <translation>Automatic (as this computer carries)</translation>
    </message>
    <message>
        <source> 本</source>
        <translation> at a time</translation>
    </message>
    <message>
        <source>浏览…</source>
        <translation>Browse…</translation>
    </message>
    <message>
        <source>选择浏览器</source>
        <translation>Choose the browser</translation>
    </message>
    <message>
        <source>选择Chromium浏览器</source>
        <translation>Choose the Chromium browser</translation>
    </message>
    <message>
        <source>留空：使用本机的Chromium，没有时自动下载。</source>
        <translation>Empty: the Chromium of this computer, else one downloaded once.</translation>
    </message>
    <message>
        <source>预览</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>文件不存在</source>
        <translation>no such file</translation>
    </message>
    <message>
        <source>没有可以打开它的程序</source>
        <translation>no program can open it</translation>
    </message>
    <message>
        <source>打开它的程序没有启动</source>
        <translation>the program to open it did not start</translation>
    </message>
    <message>
        <source>无法打开%1：%2</source>
        <translation>Cannot open %1: %2</translation>
    </message>
    <message>
        <source>找不到xdg-open</source>
        <translation>xdg-open is missing</translation>
    </message>
    <message>
        <source>上</source>
        <translation>Top</translation>
    </message>
    <message>
        <source>右</source>
        <translation>Right</translation>
    </message>
    <message>
        <source>下</source>
        <translation>Bottom</translation>
    </message>
    <message>
        <source>左</source>
        <translation>Left</translation>
    </message>
    <message>
        <source>居中</source>
        <translation>Centre</translation>
    </message>
    <message>
        <source>左侧</source>
        <translation>Left</translation>
    </message>
    <message>
        <source>右侧</source>
        <translation>Right</translation>
    </message>
    <message>
        <source>外侧（奇数页在右，偶数页在左）</source>
        <translation>Outside (right on odd pages, left on even ones)</translation>
    </message>
</context>
</TS>
