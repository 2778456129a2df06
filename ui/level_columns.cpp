#include "ui/level_columns.h"

#include "loudness/wave_analysis.h"
#include "settings/settings.h"

#include <QCoreApplication>
#include <QThread>

#include <cmath>
#include <limits>
#include <utility>

namespace {

// The header captions of ListView1, one per column.
const char* const kColumnCaptions[] = {
    QT_TRANSLATE_NOOP("FileList", "ファイル名"),
    QT_TRANSLATE_NOOP("FileList", "ディレクトリ"),
    QT_TRANSLATE_NOOP("FileList", "形式"),
    QT_TRANSLATE_NOOP("FileList", "周期"),
    "Bit",
    "Ch",
    QT_TRANSLATE_NOOP("FileList", "サイズ"),
    QT_TRANSLATE_NOOP("FileList", "　"),
    QT_TRANSLATE_NOOP("FileList", "サンプルピーク(dBFS)"),
    QT_TRANSLATE_NOOP("FileList", "トゥルーピーク(dBTP)"),
    QT_TRANSLATE_NOOP("FileList", "ラウドネス(LUFS)"),
    QT_TRANSLATE_NOOP("FileList", "ラウドネスレンジ(LU)"),
    QT_TRANSLATE_NOOP("FileList", "ゲイン(dB)"),
};
static_assert(std::size(kColumnCaptions) == ListViewColumnCount);

bool IsNumberColumn(int column)
{
    return (column >= 1 + orva::SampleRateCell && column <= 1 + orva::SizeCell) || column >= SamplePeakColumn;
}

/// Thrown from the progress report to leave the analysis of a cancelled run.
struct MeasurementCancelled {};

/// The analysis's progress, passed on at most once per step of the bar; stops the analysis
/// when the run is cancelled. Worker thread.
class MeasurementProgress final : public orva::StageEvents {
public:
    MeasurementProgress(const std::atomic<bool>& cancel, std::function<void(int)> report)
        : cancel_(cancel), report_(std::move(report))
    {
    }
    void StageStarted(orva::Stage, const std::string&) override {}
    void StageProgress(orva::Stage, int64_t, int64_t, int share) override
    {
        if (cancel_)
            throw MeasurementCancelled {};
        if (share != last_) {
            last_ = share;
            report_(share);
        }
    }
    void PeakFound(const orva::SamplePeak&) override {}
    void StageFinished(orva::Stage) override {}

private:
    const std::atomic<bool>& cancel_;
    std::function<void(int)> report_;
    int last_ = -1;
};

}  // namespace

QString LevelText(double db)
{
    if (std::isinf(db) && db < 0.0)
        return QStringLiteral("\u2212inf");
    QString text = QString::number(db, 'f', 2);
    if (text == QLatin1String("-0.00"))
        return QStringLiteral("0.00");
    if (text.startsWith(QLatin1Char('-')))
        text.replace(0, 1, QChar(0x2212));
    return text;
}

std::vector<std::optional<PlannedGain>> PlannedGains(const std::vector<const FileLevels*>& files,
                                                     const orva::Settings& settings)
{
    std::vector<std::optional<PlannedGain>> gains(files.size());
    const orva::NormalizationTarget target { static_cast<orva::TargetMode>(settings.TargetMode),
                                             settings.Target, settings.Ceiling };
    if (target.IsClassic() || files.empty())
        return gains;
    auto plan = [&target](const orva::GainInputs& inputs) -> std::optional<PlannedGain> {
        const std::optional<double> gain = orva::TargetGain(target, inputs);
        if (!gain || *gain <= 0.0)
            return std::nullopt;
        PlannedGain planned { 20.0 * std::log10(*gain), false };
        if (target.mode == orva::TargetMode::Loudness) {
            // The gain the loudness alone asks for; anything less is the ceiling's doing.
            const double wanted = (target.levelTenths / 10.0) - inputs.levels.integratedLufs;
            planned.limited = planned.db < wanted - 0.005;
        }
        return planned;
    };
    if (settings.PeakMode == 1) {
        std::vector<orva::GainInputs> inputs;
        std::vector<const orva::LoudnessMeter*> meters;
        for (const FileLevels* file : files) {
            if (file == nullptr)
                return gains;  // the album's gain needs every file
            inputs.push_back(file->inputs);
            meters.push_back(file->meter.get());
        }
        const double albumLufs = target.mode == orva::TargetMode::Loudness
            ? orva::AlbumLoudness(meters)
            : -std::numeric_limits<double>::infinity();
        const std::optional<PlannedGain> album = plan(orva::AlbumInputs(inputs, albumLufs));
        std::fill(gains.begin(), gains.end(), album);
        return gains;
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (files[i] != nullptr)
            gains[i] = plan(files[i]->inputs);
    }
    return gains;
}

ListViewColumns::ListViewColumns(QObject* parent) : QIdentityProxyModel(parent)
{
    auto invalidate = [this] { gainsValid_ = false; };
    connect(this, &QAbstractItemModel::rowsInserted, this, invalidate);
    connect(this, &QAbstractItemModel::rowsRemoved, this, invalidate);
    connect(this, &QAbstractItemModel::modelReset, this, invalidate);
}

const orva::FileListModel* ListViewColumns::FileList() const
{
    return qobject_cast<const orva::FileListModel*>(sourceModel());
}

int ListViewColumns::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ListViewColumnCount;
}

QModelIndex ListViewColumns::index(int row, int column, const QModelIndex& parent) const
{
    if (column < orva::FileListModel::ColumnCount)
        return QIdentityProxyModel::index(row, column, parent);
    if (parent.isValid() || row < 0 || row >= rowCount() || column >= ListViewColumnCount)
        return {};
    return createIndex(row, column);
}

QModelIndex ListViewColumns::parent(const QModelIndex&) const { return {}; }

QModelIndex ListViewColumns::mapToSource(const QModelIndex& proxyIndex) const
{
    if (proxyIndex.column() >= orva::FileListModel::ColumnCount)
        return {};
    return QIdentityProxyModel::mapToSource(proxyIndex);
}

Qt::ItemFlags ListViewColumns::flags(const QModelIndex& index) const
{
    if (index.isValid() && index.column() >= orva::FileListModel::ColumnCount)
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    return QIdentityProxyModel::flags(index);
}

QVariant ListViewColumns::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole)
        return QVariant::fromValue(
            Qt::Alignment((IsNumberColumn(section) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0
        && section < ListViewColumnCount)
        return QCoreApplication::translate("FileList", kColumnCaptions[section]);
    if (section >= orva::FileListModel::ColumnCount)
        return {};
    return QIdentityProxyModel::headerData(section, orientation, role);
}

QVariant ListViewColumns::data(const QModelIndex& index, int role) const
{
    const orva::FileListModel* list = FileList();
    if (!index.isValid() || list == nullptr || index.row() >= list->Count())
        return {};
    const int column = index.column();
    if (column < orva::FileListModel::ColumnCount) {
        if (role == Qt::DisplayRole && column == orva::FileListModel::SupportColumn
            && !QIdentityProxyModel::data(index, orva::FileListModel::SupportedRole).toBool())
            return QCoreApplication::translate("FileList", "(未対応)");
        if (role == SortRole) {
            const QVariant shown = data(index, Qt::DisplayRole);
            return IsNumberColumn(column) ? QVariant(shown.toString().toDouble()) : shown;
        }
        return QIdentityProxyModel::data(index, role);
    }

    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    if (role != Qt::DisplayRole && role != SortRole)
        return {};
    const std::string path = list->Entries()[std::size_t(index.row())].FullPath();
    const FileLevels* levels = LevelsOf(path);
    if (column == GainColumn) {
        EnsureGains();
        const std::optional<PlannedGain>& gain = gains_[std::size_t(index.row())];
        if (!gain)
            return {};
        if (role == SortRole)
            return gain->db;
        QString text = LevelText(gain->db);
        if (gain->db >= 0.005)
            text.prepend(QLatin1Char('+'));
        return gain->limited ? QCoreApplication::translate("FileList", "%1 (上限)").arg(text) : text;
    }
    if (levels == nullptr)
        return {};
    auto level = [column](const FileLevels& file) {
        return column == SamplePeakColumn ? orva::MagnitudeToDb(file.levels.samplePeak)
            : column == TruePeakColumn    ? orva::MagnitudeToDb(file.levels.truePeak)
            : column == LoudnessColumn    ? file.levels.integratedLufs
                                          : file.levels.rangeLu;
    };
    const double db = level(*levels);
    if (role == SortRole)
        return db;
    const auto before = before_.find(path);
    if (before != before_.end())
        return QStringLiteral("%1 \u2192 %2").arg(LevelText(level(before->second)), LevelText(db));
    return LevelText(db);
}

void ListViewColumns::SetLevels(const std::string& path, FileLevels levels)
{
    levels_[path] = std::move(levels);
    LevelsChanged();
}

void ListViewColumns::SetLevelsBefore(const std::string& path, FileLevels levels)
{
    before_[path] = std::move(levels);
    LevelsChanged();
}

const FileLevels* ListViewColumns::LevelsOf(const std::string& path) const
{
    const auto found = levels_.find(path);
    return found != levels_.end() ? &found->second : nullptr;
}

void ListViewColumns::ForgetUnlisted()
{
    const orva::FileListModel* list = FileList();
    // Keeps the levels of the files still listed, drops the rest.
    const auto keepListed = [list](std::map<std::string, FileLevels>& levels) {
        std::map<std::string, FileLevels> kept;
        if (list != nullptr) {
            for (const orva::FileEntry& entry : list->Entries()) {
                const auto found = levels.find(entry.FullPath());
                if (found != levels.end())
                    kept.insert(levels.extract(found));
            }
        }
        levels.swap(kept);
    };
    keepListed(levels_);
    keepListed(before_);
    gainsValid_ = false;
}

void ListViewColumns::SetOptions(const orva::Settings& settings)
{
    settings_ = std::make_unique<orva::Settings>(settings);
    LevelsChanged();
}

void ListViewColumns::LevelsChanged()
{
    gainsValid_ = false;
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, SamplePeakColumn), index(rowCount() - 1, GainColumn));
}

void ListViewColumns::EnsureGains() const
{
    if (gainsValid_)
        return;
    const orva::FileListModel* list = FileList();
    const std::size_t rows = list != nullptr ? std::size_t(list->Count()) : 0;
    gains_.assign(rows, std::nullopt);
    gainsValid_ = true;
    if (settings_ == nullptr || rows == 0)
        return;
    // Unsupported files take no part in a batch, so neither in the album's gain.
    std::vector<const FileLevels*> files;
    std::vector<std::size_t> rowOf;
    for (std::size_t row = 0; row < rows; ++row) {
        const orva::FileEntry& entry = list->Entries()[row];
        if (!entry.supported)
            continue;
        files.push_back(LevelsOf(entry.FullPath()));
        rowOf.push_back(row);
    }
    const std::vector<std::optional<PlannedGain>> gains = PlannedGains(files, *settings_);
    for (std::size_t i = 0; i < gains.size(); ++i)
        gains_[rowOf[i]] = gains[i];
}

ListViewSorting::ListViewSorting(QObject* parent) : QSortFilterProxyModel(parent)
{
    setSortRole(ListViewColumns::SortRole);
    setSortLocaleAware(true);
}

bool ListViewSorting::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const QVariant a = left.data(sortRole());
    const QVariant b = right.data(sortRole());
    // An empty cell (not measured) sorts below every value, −inf included.
    if (!a.isValid() || !b.isValid())
        return !a.isValid() && b.isValid();
    if (a.typeId() == QMetaType::Double && b.typeId() == QMetaType::Double)
        return a.toDouble() < b.toDouble();
    return QSortFilterProxyModel::lessThan(left, right);
}

LevelMeasurement::LevelMeasurement(Callbacks callbacks, QObject* parent)
    : QObject(parent), callbacks_(std::move(callbacks))
{
}

LevelMeasurement::~LevelMeasurement()
{
    cancel_ = true;
    Join();
}

void LevelMeasurement::Join()
{
    if (worker_.joinable())
        worker_.join();
}

bool LevelMeasurement::Start(std::vector<std::string> paths)
{
    if (running_)
        return false;
    // The previous worker has queued its last call already.
    Join();
    cancel_ = false;
    running_ = true;
    worker_ = std::thread([this, paths = std::move(paths)]() mutable { Run(std::move(paths)); });
    return true;
}

void LevelMeasurement::Run(std::vector<std::string> paths)
{
    // Worker thread: everything it learns is queued to the GUI thread in order.
    auto queue = [this](auto call) {
        QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
    };
    const int count = static_cast<int>(paths.size());
    bool cancelled = false;
    for (int i = 0; i < count && !cancelled; ++i) {
        const std::string& path = paths[std::size_t(i)];
        queue([this, i, count, path] {
            if (callbacks_.progress)
                callbacks_.progress(i, count, path, 0);
        });
        MeasurementProgress progress(cancel_, [&queue, this, i, count, &path](int position) {
            queue([this, i, count, path, position] {
                if (callbacks_.progress)
                    callbacks_.progress(i, count, path, position);
            });
        });
        auto analysis = std::make_unique<orva::WaveAnalysis>();
        std::string error;
        bool measured = false;
        try {
            measured = orva::AnalyzeWaveFile(progress, path, *analysis, error);
        } catch (const MeasurementCancelled&) {
            cancelled = true;
        }
        if (!measured)
            continue;  // a file that cannot be measured keeps empty cells
        FileLevels levels { analysis->levels, orva::InputsOf(*analysis), std::move(analysis->meter) };
        queue([this, path, levels = std::move(levels)]() mutable {
            if (callbacks_.measured)
                callbacks_.measured(path, std::move(levels));
        });
        cancelled = cancel_;
    }
    queue([this, cancelled] {
        running_ = false;
        if (callbacks_.finished)
            callbacks_.finished(cancelled);
    });
}
