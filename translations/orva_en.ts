<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>Help</name>
    <message>
        <source>ヘルプファイル(help\index.htm)が見つかりません</source>
        <translation>The help file (help/en/index.htm) was not found</translation>
    </message>
</context>
<context>
    <name>OrvaApplication</name>
    <message>
        <source>予期しないエラーが発生しました。</source>
        <translation>An unexpected error occurred.</translation>
    </message>
</context>
</TS>
