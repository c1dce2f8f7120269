<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>MainWindow</name>
    <message>
        <location filename="../../app/mainwindow.ui" line="+132"/>
        <source>Loading...</source>
        <translation>Wird geladen...</translation>
    </message>
</context>
</TS>
