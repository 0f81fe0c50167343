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
        <translation>Open Folder</translation>
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
        <source>找不到帮助文件：%1</source>
        <translation>The help file cannot be found: %1</translation>
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
        <source>查看pdf</source>
        <translation>Show PDF</translation>
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
        <source>停止转换</source>
        <translation>Stop</translation>
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
        <translation>Clear Finished</translation>
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
        <translation>the folder of each book</translation>
    </message>
    <message>
        <source>选择…</source>
        <translation>Choose…</translation>
    </message>
    <message>
        <source>输出文件夹</source>
        <translation>Output folder</translation>
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
        <source>自动</source>
        <translation>Automatic</translation>
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
</context>
</TS>
