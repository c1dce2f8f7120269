<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>MainWindow</name>
    <message>
        <location filename="../../app/mainwindow.ui" line="+132"/>
        <source>Loading...</source>
        <translation>正在加载...</translation>
    </message>
</context>
</TS>
