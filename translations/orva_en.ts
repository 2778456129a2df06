<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>FileList</name>
    <message>
        <source>ファイル名</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>ディレクトリ</source>
        <translation>Directory</translation>
    </message>
    <message>
        <source>形式</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>周期</source>
        <translation>Rate</translation>
    </message>
    <message>
        <source>サイズ</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>　</source>
        <translation> </translation>
    </message>
    <message>
        <source>(未対応)</source>
        <translation>(unsupported)</translation>
    </message>
    <message>
        <source>サンプルピーク(dBFS)</source>
        <translation>Sample peak (dBFS)</translation>
    </message>
    <message>
        <source>トゥルーピーク(dBTP)</source>
        <translation>True peak (dBTP)</translation>
    </message>
    <message>
        <source>ラウドネス(LUFS)</source>
        <translation>Loudness (LUFS)</translation>
    </message>
    <message>
        <source>ラウドネスレンジ(LU)</source>
        <translation>Loudness range (LU)</translation>
    </message>
    <message>
        <source>ゲイン(dB)</source>
        <translation>Gain (dB)</translation>
    </message>
    <message>
        <source>%1 (上限)</source>
        <translation>%1 (ceiling)</translation>
    </message>
</context>
<context>
    <name>Help</name>
    <message>
        <source>ヘルプファイル(help/index.htm)が見つかりません</source>
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
    <name>Probe</name>
    <message>
        <source>ファイルが開けません</source>
        <translation>the file cannot be opened</translation>
    </message>
    <message>
        <source>ヘッダ部が読めません</source>
        <translation>the header cannot be read</translation>
    </message>
    <message>
        <source>WAVEファイルではありません</source>
        <translation>not a WAVE file</translation>
    </message>
    <message>
        <source>fmtチャンクサイズがおかしい</source>
        <translation>the fmt chunk size is wrong</translation>
    </message>
    <message>
        <source>dataチャンクが見つかりません</source>
        <translation>no data chunk was found</translation>
    </message>
    <message>
        <source>dataチャンクの前にfmtチャンクがありません</source>
        <translation>no fmt chunk before the data chunk</translation>
    </message>
    <message>
        <source>ヘッダ部が不完全です</source>
        <translation>the header is incomplete</translation>
    </message>
    <message>
        <source>RIFFチャンクサイズがおかしい</source>
        <translation>the RIFF chunk size is wrong</translation>
    </message>
    <message>
        <source>4GB以上のRIFFファイルはサイズを表せません</source>
        <translation>a RIFF file of 4 GB or more cannot state its size</translation>
    </message>
    <message>
        <source>ds64チャンクがおかしい</source>
        <translation>the ds64 chunk is wrong</translation>
    </message>
    <message>
        <source>チャンネル数が多すぎます</source>
        <translation>the file has too many channels</translation>
    </message>
</context>
<context>
    <name>Processing</name>
    <message>
        <source>ｻﾝﾌﾟﾘﾝｸﾞﾚｰﾄ変換中(%lld/%lld)</source>
        <translation>Converting the sample rate (%lld/%lld)</translation>
    </message>
    <message>
        <source>ﾋﾟｰｸ採取中(%lld/%lld)</source>
        <translation>Scanning for the peak (%lld/%lld)</translation>
    </message>
    <message>
        <source>正規化処理中(%lld/%lld)</source>
        <translation>Normalizing (%lld/%lld)</translation>
    </message>
    <message>
        <source>ﾋﾟｰｸ採取終了(%d on %d)</source>
        <translation>Peak found (%d at sample %d)</translation>
    </message>
    <message>
        <source>ﾋﾟｰｸ採取終了(%s on %d)</source>
        <translation>Peak found (%s at sample %d)</translation>
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
        <source>ﾋﾟｰｸ採取終了(%s in %s)</source>
        <translation>Peak found (%s in %s)</translation>
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
<context>
    <name>QtMediaPlayer</name>
    <message>
        <source>ファイルが見つかりません。
%1</source>
        <translation>The file was not found.
%1</translation>
    </message>
    <message>
        <source>ファイルを開けません。
%1</source>
        <translation>The file cannot be opened.
%1</translation>
    </message>
    <message>
        <source>このファイルは再生できません。
%1</source>
        <translation>This file cannot be played.
%1</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>「$S」の正規化が終了しました！</source>
        <translation>Finished normalizing &quot;$S&quot;!</translation>
    </message>
    <message>
        <source>すべての正規化が終了しました！</source>
        <translation>Finished normalizing all files!</translation>
    </message>
</context>
<context>
    <name>StartCommand</name>
    <message>
        <source>処理可能なファイルがありません。</source>
        <translation>There are no files that can be processed.</translation>
    </message>
    <message>
        <source>音量の一括取得時には、異なるビットレートの
ファイルを同時に処理できません。</source>
        <translation>With the common peak of all files, files of different
bit depths cannot be processed together.</translation>
    </message>
    <message>
        <source>外部エンコーダが見つかりません。
 [%s]</source>
        <translation>The external encoder was not found.
 [%s]</translation>
    </message>
    <message>
        <source>外部エンコーダが見つかりません。
 [GOGO.DLL]</source>
        <translation>The external encoder was not found.
 [GOGO.DLL]</translation>
    </message>
    <message>
        <source>変換前と変換後のﾃﾞｨﾚｸﾄﾘが重なっています。</source>
        <translation>The source and output folders are the same.</translation>
    </message>
    <message>
        <source>ステレオ</source>
        <translation>Stereo</translation>
    </message>
    <message>
        <source>ジョイントステレオ</source>
        <translation>Joint stereo</translation>
    </message>
    <message>
        <source>ミッドサイドステレオ</source>
        <translation>Mid/side stereo</translation>
    </message>
    <message>
        <source>強制モノラル</source>
        <translation>Forced mono</translation>
    </message>
    <message>
        <source>         ORVA 変換オプション</source>
        <translation>         ORVA conversion options</translation>
    </message>
    <message>
        <source>変換するファイル数： %d 個</source>
        <translation>Files to convert   : %d</translation>
    </message>
    <message>
        <source>保存先ディレクトリ：%s</source>
        <translation>Output folder      : %s</translation>
    </message>
    <message>
        <source>ピーク取得方法　　：ファイルごと</source>
        <translation>Peak method        : per file</translation>
    </message>
    <message>
        <source>ピーク取得方法　　：全ファイルから一括取得</source>
        <translation>Peak method        : common peak of all files</translation>
    </message>
    <message>
        <source>目標レベル　　　　：トゥルーピーク %s dBTP</source>
        <translation>Target level       : true peak %s dBTP</translation>
    </message>
    <message>
        <source>目標レベル　　　　：ラウドネス %s LUFS</source>
        <translation>Target level       : loudness %s LUFS</translation>
    </message>
    <message>
        <source>（上限 %s dBTP）</source>
        <translation> (ceiling %s dBTP)</translation>
    </message>
    <message>
        <source>目標レベル　　　　：サンプルピーク %s dBFS</source>
        <translation>Target level       : sample peak %s dBFS</translation>
    </message>
    <message>
        <source>外部エンコーダ：なし</source>
        <translation>External encoder   : none</translation>
    </message>
    <message>
        <source>外部エンコーダ：午後のこ～だ(%s)</source>
        <translation>External encoder   : Gogo (%s)</translation>
    </message>
    <message>
        <source>　実行ファイル：%s</source>
        <translation>  Executable       : %s</translation>
    </message>
    <message>
        <source>外部エンコーダ：SCMPX</source>
        <translation>External encoder   : SCMPX</translation>
    </message>
    <message>
        <source>　ビットレート：%d kbps/sec</source>
        <translation>  Bit rate         : %d kbps/sec</translation>
    </message>
    <message>
        <source>　出力モード　：%s</source>
        <translation>  Output mode      : %s</translation>
    </message>
    <message>
        <source>　オプション　：心理音響モデル演算</source>
        <translation>  Options          : psychoacoustic model</translation>
    </message>
    <message>
        <source>　オプション　：なし</source>
        <translation>  Options          : none</translation>
    </message>
    <message>
        <source>※外部エンコーダの種類と実行ファイルの種別が</source>
        <translation>* Make sure that the kind of external encoder</translation>
    </message>
    <message>
        <source>　同一であることを、必ず確認してください。</source>
        <translation>  matches the kind of the executable file.</translation>
    </message>
    <message>
        <source>　違う場合、エンコード時にエラーになります。</source>
        <translation>  If they differ, encoding fails with an error.</translation>
    </message>
    <message>
        <source>サンプリングレート変換： %d Hz</source>
        <translation>Sample-rate conversion: %d Hz</translation>
    </message>
    <message>
        <source>サンプリングレート変換：なし</source>
        <translation>Sample-rate conversion: none</translation>
    </message>
    <message>
        <source>ＳＳＴＰ：有効</source>
        <translation>SSTP               : enabled</translation>
    </message>
    <message>
        <source>※リネームオプションが指定されています。</source>
        <translation>* The rename option is set.</translation>
    </message>
    <message>
        <source>　変換前のファイル名はリネームされます。</source>
        <translation>  The source files will be renamed.</translation>
    </message>
    <message>
        <source>※削除オプションが指定されています。</source>
        <translation>* The delete option is set.</translation>
    </message>
    <message>
        <source>　ORVAが変換を失敗した場合、ファイルを復活させる</source>
        <translation>  If ORVA fails to convert a file, the file</translation>
    </message>
    <message>
        <source>　ことはできません。</source>
        <translation>  cannot be restored.</translation>
    </message>
    <message>
        <source>　十分なテストを行うまでは使用しないで下さい。</source>
        <translation>  Do not use it until you have tested it enough.</translation>
    </message>
    <message>
        <source>a file of the same name is already listed (%s)</source>
        <translation>a file of the same name is already listed (%s)</translation>
    </message>
    <message>
        <source>not a .wav file name</source>
        <translation>not a .wav file name</translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>正規化したファイルを保存するディレクトリを選択してください。</source>
        <translation>Choose the folder for the normalized files.</translation>
    </message>
    <message>
        <source>新規</source>
        <translation>New</translation>
    </message>
    <message>
        <source>リストに追加</source>
        <translation>Add to list</translation>
    </message>
    <message>
        <source>リストから削除</source>
        <translation>Remove from list</translation>
    </message>
    <message>
        <source>再生</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>ｵﾌﾟｼｮﾝ</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>正規化開始</source>
        <translation>Start normalization</translation>
    </message>
    <message>
        <source>バージョン情報</source>
        <translation>About</translation>
    </message>
    <message>
        <source>ｻｳﾝﾄﾞﾌｧｲﾙ(*.wav)</source>
        <translation>Sound files (*.wav)</translation>
    </message>
    <message>
        <source>ﾌｧｲﾙ(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>新規(&amp;N)</source>
        <translation>&amp;New</translation>
    </message>
    <message>
        <source>追加(&amp;A)</source>
        <translation>&amp;Add</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>編集(&amp;E)</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>全て選択(&amp;A)</source>
        <translation>Select &amp;All</translation>
    </message>
    <message>
        <source>リストから削除(&amp;D)</source>
        <translation>&amp;Remove from List</translation>
    </message>
    <message>
        <source>未対応ﾌｧｲﾙの削除(&amp;C)</source>
        <translation>Remove &amp;Unsupported Files</translation>
    </message>
    <message>
        <source>再生(&amp;P)</source>
        <translation>&amp;Play</translation>
    </message>
    <message>
        <source>停止(&amp;S)</source>
        <translation>&amp;Stop</translation>
    </message>
    <message>
        <source>処理(&amp;G)</source>
        <translation>Pro&amp;cess</translation>
    </message>
    <message>
        <source>正規化開始(&amp;N)...</source>
        <translation>Start &amp;Normalization...</translation>
    </message>
    <message>
        <source>ｵﾌﾟｼｮﾝ(&amp;O)</source>
        <translation>&amp;Options</translation>
    </message>
    <message>
        <source>ﾍﾙﾌﾟ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>ヘルプを開く(&amp;H)</source>
        <translation>Open &amp;Help</translation>
    </message>
    <message>
        <source>Kef&apos;s Page(&amp;N)</source>
        <translation>&amp;Kef&apos;s Page</translation>
    </message>
    <message>
        <source>ﾊﾞｰｼﾞｮﾝ情報(&amp;A)...</source>
        <translation>&amp;About...</translation>
    </message>
    <message>
        <source>レベル測定</source>
        <translation>Measure levels</translation>
    </message>
    <message>
        <source>レベル測定(&amp;L)</source>
        <translation>Measure &amp;Levels</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>レベル測定中(%1/%2):%3</source>
        <translation>Measuring levels (%1/%2): %3</translation>
    </message>
    <message>
        <source>対応状況</source>
        <translation>Support</translation>
    </message>
</context>
<context>
    <name>TForm3</name>
    <message>
        <source>ラウドネス %1 LUFS、トゥルーピーク %2 dBTP、ゲイン %3 dB</source>
        <translation>Loudness %1 LUFS, true peak %2 dBTP, gain %3 dB</translation>
    </message>
    <message>
        <source>ORVA 正規化中です...</source>
        <translation>ORVA is normalizing...</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>完了しました（失敗 %d 件）</source>
        <translation>Finished (%d failed)</translation>
    </message>
</context>
<context>
    <name>TFormOption</name>
    <message>
        <source>ORVA ｵﾌﾟｼｮﾝ</source>
        <translation>ORVA Options</translation>
    </message>
    <message>
        <source>基本</source>
        <translation>Basic</translation>
    </message>
    <message>
        <source>設定ファイル: %1</source>
        <translation>Settings file: %1</translation>
    </message>
    <message>
        <source>ピークの取得方法</source>
        <translation>Peak method</translation>
    </message>
    <message>
        <source>ファイルごとに取得(&amp;F)</source>
        <translation>Per &amp;file</translation>
    </message>
    <message>
        <source>全ファイルから一括取得(&amp;A)</source>
        <translation>Common peak of &amp;all files</translation>
    </message>
    <message>
        <source>元ファイル</source>
        <translation>Source files</translation>
    </message>
    <message>
        <source>操作しない(&amp;L)</source>
        <translation>&amp;Leave as they are</translation>
    </message>
    <message>
        <source>リネームする(&amp;R)</source>
        <translation>&amp;Rename</translation>
    </message>
    <message>
        <source>削除する(&amp;D)</source>
        <translation>&amp;Delete</translation>
    </message>
    <message>
        <source>変換後の元ファイルの操作</source>
        <translation>What happens to the source files after conversion</translation>
    </message>
    <message>
        <source>サンプリングレート変換(&amp;S)</source>
        <translation>&amp;Sample-rate conversion</translation>
    </message>
    <message>
        <source>音量正規化前にサンプリングレート変換を行うか</source>
        <translation>Whether to convert the sample rate before normalizing</translation>
    </message>
    <message>
        <source>変換後のサンプリングレート</source>
        <translation>Sample rate after conversion</translation>
    </message>
    <message>
        <source>デフォルトの保存先</source>
        <translation>Default output folder</translation>
    </message>
    <message>
        <source>前回のフォルダ(&amp;P)</source>
        <translation>&amp;Previous folder</translation>
    </message>
    <message>
        <source>固定(&amp;X)</source>
        <translation>Fi&amp;xed</translation>
    </message>
    <message>
        <source>・・・</source>
        <translation>...</translation>
    </message>
    <message>
        <source>外部エンコード(MP3)(&amp;E)</source>
        <translation>&amp;External encoding (MP3)</translation>
    </message>
    <message>
        <source>外部エンコーダを使用してMP3ファイルを作成</source>
        <translation>Make MP3 files with an external encoder</translation>
    </message>
    <message>
        <source>ステレオ/ジョイントステレオなどのモード</source>
        <translation>Stereo, joint stereo and other modes</translation>
    </message>
    <message>
        <source>午後のこ～だ</source>
        <translation>Gogo</translation>
    </message>
    <message>
        <source>MP3エンコーダの種別を選択</source>
        <translation>Choose the kind of MP3 encoder</translation>
    </message>
    <message>
        <source>場所指定(&amp;B)</source>
        <translation>&amp;Browse</translation>
    </message>
    <message>
        <source>外部エンコーダのパスを指定する</source>
        <translation>Choose the path of the external encoder</translation>
    </message>
    <message>
        <source>エンコード後のMP3ファイルのビットレート</source>
        <translation>Bit rate of the encoded MP3 files</translation>
    </message>
    <message>
        <source>ステレオ</source>
        <translation>Stereo</translation>
    </message>
    <message>
        <source>ジョイントステレオ</source>
        <translation>Joint stereo</translation>
    </message>
    <message>
        <source>ミッドサイドステレオ</source>
        <translation>Mid/side stereo</translation>
    </message>
    <message>
        <source>強制モノラル</source>
        <translation>Forced mono</translation>
    </message>
    <message>
        <source>心理音響モデル演算(&amp;P)</source>
        <translation>&amp;Psychoacoustic model</translation>
    </message>
    <message>
        <source>心理音響モデル演算を行う</source>
        <translation>Use the psychoacoustic model</translation>
    </message>
    <message>
        <source>強制モノラル指定時には、ビットレートは
半分になります。</source>
        <translation>With forced mono, the bit rate
is halved.</translation>
    </message>
    <message>
        <source>エンコーダ種別(&amp;K)</source>
        <translation>Encoder &amp;kind</translation>
    </message>
    <message>
        <source>ビットレート(&amp;R)</source>
        <translation>Bit &amp;rate</translation>
    </message>
    <message>
        <source>出力モード(&amp;M)</source>
        <translation>Output &amp;mode</translation>
    </message>
    <message>
        <source>SSTP有効(&amp;S)</source>
        <translation>&amp;SSTP enabled</translation>
    </message>
    <message>
        <source>サーバ(&amp;V)</source>
        <translation>Ser&amp;ver</translation>
    </message>
    <message>
        <source>ポート(&amp;T)</source>
        <translation>Por&amp;t</translation>
    </message>
    <message>
        <source>1ファイル終了時(ファイル名:$S)(&amp;O)</source>
        <translation>When &amp;one file is done (file name: $S)</translation>
    </message>
    <message>
        <source>全ファイル終了時(&amp;A)</source>
        <translation>When &amp;all files are done</translation>
    </message>
    <message>
        <source>ネットワーク</source>
        <translation>Network</translation>
    </message>
    <message>
        <source>SCMPX指定時はエンコーダのプログラムを指定してください。</source>
        <translation>For SCMPX, choose the encoder program.</translation>
    </message>
    <message>
        <source>開く</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>目標レベル(&amp;T)</source>
        <translation>&amp;Target level</translation>
    </message>
    <message>
        <source>サンプルピーク</source>
        <translation>Sample peak</translation>
    </message>
    <message>
        <source>トゥルーピーク</source>
        <translation>True peak</translation>
    </message>
    <message>
        <source>ラウドネス</source>
        <translation>Loudness</translation>
    </message>
    <message>
        <source>音量をそろえる基準</source>
        <translation>What the level is measured by</translation>
    </message>
    <message>
        <source>正規化後の目標レベル</source>
        <translation>The level after normalization</translation>
    </message>
    <message>
        <source>上限(&amp;C)</source>
        <translation>&amp;Ceiling</translation>
    </message>
    <message>
        <source>ラウドネス正規化でトゥルーピークが超えない上限</source>
        <translation>The true peak a loudness normalization never exceeds</translation>
    </message>
    <message>
        <source>実行できないファイルです。(%1)</source>
        <translation>This file cannot be run. (%1)</translation>
    </message>
</context>
<context>
    <name>TOKRightDlg</name>
    <message>
        <source>変換オプション</source>
        <translation>Conversion options</translation>
    </message>
    <message>
        <source>以下の条件で変換を行います。よろしいですか？</source>
        <translation>The files will be converted as follows. Proceed?</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>終了後に出力ファイルのレベルを測定する(&amp;M)</source>
        <translation>&amp;Measure the outputs' levels afterwards</translation>
    </message>
</context>
<context>
    <name>UiServices</name>
    <message>
        <source>実行ファイル (*)</source>
        <translation>Programs (*)</translation>
    </message>
    <message>
        <source>Windows のプログラム (*.exe)</source>
        <translation>Windows programs (*.exe)</translation>
    </message>
    <message>
        <source>すべてのファイル (*)</source>
        <translation>All files (*)</translation>
    </message>
</context>
<context>
    <name>HelpWindow</name>
    <message>
        <source>ORVA ヘルプ</source>
        <translation>ORVA Help</translation>
    </message>
    <message>
        <source>戻る(&amp;B)</source>
        <translation>&amp;Back</translation>
    </message>
    <message>
        <source>進む(&amp;F)</source>
        <translation>&amp;Forward</translation>
    </message>
    <message>
        <source>ブラウザで開く(&amp;O)</source>
        <translation>&amp;Open in browser</translation>
    </message>
    <message>
        <source>閉じる(&amp;C)</source>
        <translation>&amp;Close</translation>
    </message>
</context>
<context>
    <name>Startup</name>
    <message>
        <source>画面に接続できません（DISPLAY も WAYLAND_DISPLAY も設定されていません）</source>
        <translation>cannot connect to a display (neither DISPLAY nor WAYLAND_DISPLAY is set)</translation>
    </message>
</context>
<context>
    <name>TForm2</name>
    <message>
        <source>WAVファイルのピーク正規化ツール</source>
        <translation>Peak normalizer for WAV files</translation>
    </message>
</context>
</TS>
