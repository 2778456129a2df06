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
<context>
    <name>Processing</name>
    <message>
        <source>ｻﾝﾌﾟﾘﾝｸﾞﾚｰﾄ変換中(%d/%d)</source>
        <translation>Converting the sample rate (%d/%d)</translation>
    </message>
    <message>
        <source>ﾋﾟｰｸ採取中(%d/%d)</source>
        <translation>Scanning for the peak (%d/%d)</translation>
    </message>
    <message>
        <source>正規化処理中(%d/%d)</source>
        <translation>Normalizing (%d/%d)</translation>
    </message>
    <message>
        <source>ﾋﾟｰｸ採取終了(%d on %d)</source>
        <translation>Peak found (%d at sample %d)</translation>
    </message>
    <message>
        <source>ﾌｧｲﾙを正常に読み込めません。(%s)</source>
        <translation>The file cannot be read properly. (%s)</translation>
    </message>
    <message>
        <source>ﾌｧｲﾙを正常に作成できません。(%s)</source>
        <translation>The file cannot be created properly. (%s)</translation>
    </message>
    <message>
        <source>書きこみに失敗しました。(%s)</source>
        <translation>Writing failed. (%s)</translation>
    </message>
    <message>
        <source>ﾌｧｲﾙをﾘﾈｰﾑできません。(%s)</source>
        <translation>The file cannot be renamed. (%s)</translation>
    </message>
    <message>
        <source>エンコードに失敗しました[%s]</source>
        <translation>Encoding failed [%s]</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>正規化は終了していません。キャンセルしますか？
注：不正なファイルや作業ファイルが残される場合があります。</source>
        <translation>The normalization is not finished. Cancel it?
Note: broken files or working files may be left behind.</translation>
    </message>
    <message>
        <source>正規化処理</source>
        <translation>Normalization</translation>
    </message>
    <message>
        <source>ピーク取得中ﾌｧｲﾙ(%d/%d):%s</source>
        <translation>Scanning for the peak (%d/%d): %s</translation>
    </message>
    <message>
        <source>処理中ﾌｧｲﾙ(%d/%d):%s</source>
        <translation>Processing file (%d/%d): %s</translation>
    </message>
    <message>
        <source>ﾋﾟｰｸ採取終了(%d in %s)</source>
        <translation>Peak found (%d in %s)</translation>
    </message>
    <message>
        <source>完了しました</source>
        <translation>Finished</translation>
    </message>
    <message>
        <source>外部エンコーダ呼び出し中</source>
        <translation>Running the external encoder</translation>
    </message>
    <message>
        <source>正規化終了</source>
        <translation>Normalization finished</translation>
    </message>
    <message>
        <source>外部エンコーダ終了</source>
        <translation>External encoder finished</translation>
    </message>
    <message>
        <source>ﾌｧｲﾙは他のﾊﾞｯﾁが処理中です。(%s)</source>
        <translation>The file is being processed by another batch. (%s)</translation>
    </message>
    <message>
        <source>ﾌｧｲﾙを削除できません。(%s)</source>
        <translation>The file cannot be deleted. (%s)</translation>
    </message>
</context>
</TS>
