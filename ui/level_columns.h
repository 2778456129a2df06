#pragma once
// The level columns of the file list: what the analyze command measured for each file
// (sample peak, true peak, loudness, loudness range) and the gain the current options would
// give it, shown after the list's own columns and kept by full path. LevelMeasurement
// measures files on a worker thread of its own. GUI thread unless a comment says otherwise.

#include "batch/file_list.h"
#include "loudness/loudness_meter.h"
#include "loudness/target_gain.h"

#include <QIdentityProxyModel>
#include <QSortFilterProxyModel>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace orva {
struct Settings;
}

/// Columns of ListView1 after the file list's own.
enum LevelColumn : int {
    SamplePeakColumn = orva::FileListModel::ColumnCount,  ///< dBFS
    TruePeakColumn,                                       ///< dBTP
    LoudnessColumn,                                       ///< LUFS
    RangeColumn,                                          ///< LU
    GainColumn,                                           ///< dB, with a target other than the classic one
    ListViewColumnCount
};

/// What one file measured.
struct FileLevels {
    orva::LoudnessLevels levels;
    orva::GainInputs inputs;
    /// Kept for the loudness of all files together (common-peak mode).
    std::shared_ptr<const orva::LoudnessMeter> meter;
};

/// The gain a file would get, in dB, and whether the true-peak ceiling lowered it.
struct PlannedGain {
    double db = 0.0;
    bool limited = false;
};

/// A level as the list shows it: two decimals, "−inf" when there was nothing to measure.
QString LevelText(double db);

/// The gain each of `files` would get under `settings` (in common-peak mode one album gain
/// for all, which needs every file measured); empty where none can be told: no target
/// other than the classic one, a file not measured, or a loudness that cannot be measured.
std::vector<std::optional<PlannedGain>> PlannedGains(const std::vector<const FileLevels*>& files,
                                                     const orva::Settings& settings);

/// The file list in the program's language with the level columns after its own; the
/// header captions are aligned like their cells. Sorting uses SortRole: numbers for the
/// numeric columns, an unmeasured level below every measured one.
class ListViewColumns final : public QIdentityProxyModel {
public:
    static constexpr int SortRole = Qt::UserRole + 1;

    explicit ListViewColumns(QObject* parent = nullptr);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    /// Records the levels of the file at `path` (a full path as FileEntry::FullPath).
    void SetLevels(const std::string& path, FileLevels levels);
    /// Records what the file at `path` measured before it was normalized: its level cells
    /// then read "before → after".
    void SetLevelsBefore(const std::string& path, FileLevels levels);
    /// The recorded levels of a full path, or null.
    const FileLevels* LevelsOf(const std::string& path) const;
    /// Forgets the levels of paths no longer listed.
    void ForgetUnlisted();
    /// Works the gain column out again for these options.
    void SetOptions(const orva::Settings& settings);

private:
    const orva::FileListModel* FileList() const;
    void EnsureGains() const;
    /// Every level cell may show something else now.
    void LevelsChanged();

    std::map<std::string, FileLevels> levels_;
    std::map<std::string, FileLevels> before_;
    mutable std::vector<std::optional<PlannedGain>> gains_;  ///< by source row, while gainsValid_
    mutable bool gainsValid_ = false;
    std::unique_ptr<orva::Settings> settings_;
};

/// Sorts the list view by SortRole; without a sort column the rows keep the list's order.
class ListViewSorting final : public QSortFilterProxyModel {
public:
    explicit ListViewSorting(QObject* parent = nullptr);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
};

/// Measures files one after another on a worker thread. Every callback runs on the GUI
/// thread, queued behind the earlier ones; none runs once the object is gone. Destroying it
/// cancels and joins the worker.
class LevelMeasurement final : public QObject {
public:
    struct Callbacks {
        /// File `index` of `count` at `position` (0..1000 of the file).
        std::function<void(int index, int count, const std::string& path, int position)> progress;
        /// A file measured.
        std::function<void(const std::string& path, FileLevels levels)> measured;
        /// The run ended, by the last file or by a cancel.
        std::function<void(bool cancelled)> finished;
    };

    explicit LevelMeasurement(Callbacks callbacks, QObject* parent = nullptr);
    ~LevelMeasurement() override;

    /// Starts measuring `paths` unless a run is under way; returns whether it started.
    bool Start(std::vector<std::string> paths);
    /// Asks the worker to stop within one block of samples.
    void Cancel() { cancel_ = true; }
    /// True from Start until the finished callback has run.
    bool Running() const { return running_; }

private:
    void Run(std::vector<std::string> paths);
    void Join();

    Callbacks callbacks_;
    std::thread worker_;
    std::atomic<bool> cancel_ { false };
    bool running_ = false;
};
