#pragma once
// The main window's file list: one row per WAV file of the next batch, its cells data
// without words (the front end captions the columns and words the support column).
// The desktop window shows it in a QTreeView; orva-cli fills it from its arguments; the
// start command and the batch job read the rows by cell number, in list order.
// Used on one thread only (the user-interface thread, or orva-cli's main thread).

#include "core/wave_file.h"

#include <QAbstractTableModel>

#include <array>
#include <set>
#include <string>
#include <vector>

namespace orva {

/// Why AddFileToList left a file out, for the front end to word.
struct ListRefusal {
    enum class Kind {
        SameName,    ///< `path` is the listed file of the same name
        NotWavName,  ///< the extension is not ".WAV" in any letter case
        CannotRead,  ///< `path` cannot be read
        NotWave,     ///< it does not probe as a WAV file: `probeResult` (`reason`: the core's, for logs)
    };
    Kind kind = Kind::NotWavName;
    std::string path;
    int probeResult = 0;
    std::string reason;
};

/// Sub-item numbers of a FileEntry (the caption is not a sub-item).
enum FileEntryCell : int {
    DirectoryCell = 0,   ///< folder of the file, ending with "/"
    FormatTagCell = 1,   ///< name of the format tag (extensible: of its sub-format)
    SampleRateCell = 2,  ///< Hz, decimal
    BitsCell = 3,        ///< significant bits per sample (extensible: valid bits), decimal
    ChannelsCell = 4,    ///< channel count, decimal
    SizeCell = 5,        ///< RIFF size field + 8 (bytes the header declares), decimal
};

/// One row of the file list. The directory sub-item followed by the caption is the full path.
struct FileEntry {
    std::string caption;                             ///< file name with extension, letter case kept
    std::array<std::string, 6> subItems;             ///< indexed by FileEntryCell
    SampleFormat sampleFormat = SampleFormat::None;  ///< as the probe found it (not shown)
    bool supported = true;                           ///< false: the normalizer cannot process it

    const std::string& Directory() const { return subItems[DirectoryCell]; }
    std::string FullPath() const { return subItems[DirectoryCell] + caption; }
};

/// The rows of the file list as a table model: column 0 is the caption, columns 1 to 6 are
/// sub-items 0 to 5, column 7 is the support column. The model holds no state beyond the
/// rows; selection is the view's. Its header captions are the base class's column numbers.
class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    /// Columns of the view: the caption, one per sub-item, then the support column.
    static constexpr int ColumnCount = 8;
    static constexpr int SupportColumn = 7;
    /// In every column of a row: FileEntry::supported as a bool.
    static constexpr int SupportedRole = Qt::UserRole;

    explicit FileListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    /// DisplayRole: the cell text (empty in the support column); TextAlignmentRole: numbers
    /// right-aligned; SupportedRole.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    /// Adds the WAV file at `path` (UTF-8, "/" separators) as the last row, unless its file
    /// name is already a caption (exact bytes), its extension is not ".WAV" in any letter
    /// case, or it does not probe as a WAV file. Returns whether a row was added; a refusal
    /// shows nothing, but `refusal` (when given) receives why. A relative path is taken
    /// against the current directory.
    bool AddFileToList(const std::string& path, ListRefusal* refusal = nullptr);

    /// Removes the rows with these indexes; the other rows keep their order.
    void RemoveSelectedFiles(const std::set<int>& rows);
    /// Removes every row that is not supported.
    void RemoveUnsupportedFiles();
    /// Removes all rows.
    void Clear();

    /// The rows in list order (the batch job takes a copy of them).
    const std::vector<FileEntry>& Entries() const { return m_entries; }
    int Count() const { return static_cast<int>(m_entries.size()); }

    /// Appends a prepared row as it is (no checks); for tests and tools.
    void AppendEntry(const FileEntry& entry);

private:
    std::vector<FileEntry> m_entries;
};

}  // namespace orva
