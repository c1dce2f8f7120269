<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it_IT">
<context>
    <name>MainWindow</name>
    <message>
        <location filename="../../app/mainwindow.ui" line="+132"/>
        <source>Loading...</source>
        <translation>Caricamento...</translation>
    </message>
</context>
</TS>
