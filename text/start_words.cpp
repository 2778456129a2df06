#include "text/start_words.h"

#include "text/catalogue.h"
#include "text/format.h"
#include "text/processing_words.h"

namespace orva {
namespace {

/// Tenths of a dB as "-1.0".
std::string FormatTenths(int tenths)
{
    const int magnitude = tenths < 0 ? -tenths : tenths;
    return (tenths < 0 ? "-" : "") + std::to_string(magnitude / 10) + "." + std::to_string(magnitude % 10);
}

/// The summary line of a target other than the classic full-scale peak.
std::string TargetSummaryLine(const Settings& settings)
{
    const std::string level = FormatTenths(settings.Target);
    if (settings.TargetMode == 1)
        return Format(ORVA_TR("StartCommand", "目標レベル　　　　：トゥルーピーク %s dBTP"), level.c_str());
    if (settings.TargetMode == 2) {
        const std::string line =
            Format(ORVA_TR("StartCommand", "目標レベル　　　　：ラウドネス %s LUFS"), level.c_str());
        return line
            + Format(ORVA_TR("StartCommand", "（上限 %s dBTP）"), FormatTenths(settings.Ceiling).c_str());
    }
    return Format(ORVA_TR("StartCommand", "目標レベル　　　　：サンプルピーク %s dBFS"), level.c_str());
}

}  // namespace

std::string FindingText(StartFinding finding, const std::string& path)
{
    switch (finding) {
    case StartFinding::NoFiles:
        return ORVA_TR("StartCommand", "処理可能なファイルがありません。");
    case StartFinding::MixedBits:
        return ORVA_TR("StartCommand",
                       "音量の一括取得時には、異なるビットレートの\nファイルを同時に処理できません。");
    case StartFinding::EncoderMissing:
        return Format(ORVA_TR("StartCommand", "外部エンコーダが見つかりません。\n [%s]"), path.c_str());
    case StartFinding::GogoMissing:
        return ORVA_TR("StartCommand", "外部エンコーダが見つかりません。\n [GOGO.DLL]");
    case StartFinding::Overlap:
        return ORVA_TR("StartCommand", "変換前と変換後のﾃﾞｨﾚｸﾄﾘが重なっています。");
    }
    return {};
}

std::string RefusalText(const ListRefusal& refusal)
{
    switch (refusal.kind) {
    case ListRefusal::Kind::SameName:
        return Format(ORVA_TR("StartCommand", "a file of the same name is already listed (%s)"),
                      refusal.path.c_str());
    case ListRefusal::Kind::NotWavName:
        return ORVA_TR("StartCommand", "not a .wav file name");
    case ListRefusal::Kind::CannotRead:
        return ProblemText(Problem::CannotRead, refusal.path);
    case ListRefusal::Kind::NotWave:
        return ProbeReason(refusal.probeResult, refusal.reason);
    }
    return {};
}

std::string OutputModeName(int mode)
{
    switch (mode) {
    case 0:
        return ORVA_TR("StartCommand", "ステレオ");
    case 1:
        return ORVA_TR("StartCommand", "ジョイントステレオ");
    case 2:
        return ORVA_TR("StartCommand", "ミッドサイドステレオ");
    case 3:
        return ORVA_TR("StartCommand", "強制モノラル");
    default:
        return {};
    }
}

std::vector<std::string> BuildSummaryLines(const Settings& settings, int fileCount,
                                           const std::string& outputDirectory, const GogoEncoderInfo& gogo)
{
    const std::string rule(41, '-');
    std::vector<std::string> lines;
    lines.push_back(rule);
    lines.push_back(ORVA_TR("StartCommand", "         ORVA 変換オプション"));
    lines.push_back(rule);
    lines.push_back(Format(ORVA_TR("StartCommand", "変換するファイル数： %d 個"), fileCount));
    lines.push_back(Format(ORVA_TR("StartCommand", "保存先ディレクトリ：%s"), outputDirectory.c_str()));
    lines.push_back(settings.PeakMode == 0
                        ? ORVA_TR("StartCommand", "ピーク取得方法　　：ファイルごと")
                        : ORVA_TR("StartCommand", "ピーク取得方法　　：全ファイルから一括取得"));
    if (settings.TargetMode != 0 || settings.Target != 0)
        lines.push_back(TargetSummaryLine(settings));
    lines.push_back("");

    // An encoder kind other than the two known ones makes no MP3 file, so it shows as none.
    const bool encodes = settings.Mp3Bitrate != 0 && (settings.EncoderKind == 0 || settings.EncoderKind == 1);
    if (!encodes) {
        lines.push_back(ORVA_TR("StartCommand", "外部エンコーダ：なし"));
    } else {
        if (settings.EncoderKind == 0) {
            lines.push_back(Format(ORVA_TR("StartCommand", "外部エンコーダ：午後のこ～だ(%s)"),
                                   gogo.VersionString.c_str()));
            lines.push_back(Format(ORVA_TR("StartCommand", "　実行ファイル：%s"), gogo.DLLPath.c_str()));
        } else {
            lines.push_back(ORVA_TR("StartCommand", "外部エンコーダ：SCMPX"));
            lines.push_back(
                Format(ORVA_TR("StartCommand", "　実行ファイル：%s"), settings.EncoderPath.c_str()));
        }
        const int bitrate = settings.OutputMode == 3 ? settings.Mp3Bitrate / 2 : settings.Mp3Bitrate;
        lines.push_back(Format(ORVA_TR("StartCommand", "　ビットレート：%d kbps/sec"), bitrate));
        lines.push_back(Format(ORVA_TR("StartCommand", "　出力モード　：%s"),
                               OutputModeName(settings.OutputMode).c_str()));
        lines.push_back(settings.EncoderKind == 0 && settings.UsePsy != 0
                            ? ORVA_TR("StartCommand", "　オプション　：心理音響モデル演算")
                            : ORVA_TR("StartCommand", "　オプション　：なし"));
        lines.push_back("");
        lines.push_back(ORVA_TR("StartCommand", "※外部エンコーダの種類と実行ファイルの種別が"));
        lines.push_back(ORVA_TR("StartCommand", "　同一であることを、必ず確認してください。"));
        lines.push_back(ORVA_TR("StartCommand", "　違う場合、エンコード時にエラーになります。"));
    }
    lines.push_back("");
    lines.push_back(
        settings.ResampleRate > 0
            ? Format(ORVA_TR("StartCommand", "サンプリングレート変換： %d Hz"), settings.ResampleRate)
            : std::string(ORVA_TR("StartCommand", "サンプリングレート変換：なし")));
    if (settings.SstpEnabled > 0)
        lines.push_back(ORVA_TR("StartCommand", "ＳＳＴＰ：有効"));
    lines.push_back("");
    if (settings.SourceFileAction == 1) {
        lines.push_back(ORVA_TR("StartCommand", "※リネームオプションが指定されています。"));
        lines.push_back(ORVA_TR("StartCommand", "　変換前のファイル名はリネームされます。"));
    } else if (settings.SourceFileAction == 2) {
        lines.push_back(ORVA_TR("StartCommand", "※削除オプションが指定されています。"));
        lines.push_back(ORVA_TR("StartCommand", "　ORVAが変換を失敗した場合、ファイルを復活させる"));
        lines.push_back(ORVA_TR("StartCommand", "　ことはできません。"));
        lines.push_back(ORVA_TR("StartCommand", "　十分なテストを行うまでは使用しないで下さい。"));
    }
    return lines;
}

}  // namespace orva
