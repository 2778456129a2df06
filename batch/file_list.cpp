#include "batch/file_list.h"

#include "core/format_tag.h"
#include "core/wave_file.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace orva {
namespace {

/// The extension test: the part of the name from its last dot on, ASCII letters upper-cased.
bool HasWavExtension(const std::string& fileName)
{
    const auto dot = fileName.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string extension = fileName.substr(dot);
    for (char& c : extension) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return extension == ".WAV";
}

/// An absolute form of a relative path (taken against the current directory), so that the
/// directory cell always names the folder the batch reads and writes.
std::string AbsolutePath(const std::string& path)
{
    if (!path.empty() && path.front() == '/')
        return path;
    std::error_code error;
    const auto current = std::filesystem::current_path(error);
    if (error)
        return path;
    return (current / path).lexically_normal().string();
}

}  // namespace

FileListModel::FileListModel(QObject* parent) : QAbstractTableModel(parent) {}

int FileListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Count(); }

int FileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= Count() || index.column() < 0
        || index.column() >= ColumnCount)
        return {};
    const FileEntry& entry = m_entries[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole) {
        if (index.column() == SupportColumn)
            return QString();
        const std::string& text =
            index.column() == 0 ? entry.caption : entry.subItems[static_cast<size_t>(index.column() - 1)];
        return QString::fromStdString(text);
    }
    if (role == SupportedRole)
        return entry.supported;
    if (role == Qt::TextAlignmentRole) {
        const int cell = index.column() - 1;
        const bool number = cell >= SampleRateCell && cell <= SizeCell;
        return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    return {};
}

bool FileListModel::AddFileToList(const std::string& path, ListRefusal* refusal)
{
    const std::string fullPath = AbsolutePath(path);
    const auto slash = fullPath.rfind('/');
    const std::string directory = fullPath.substr(0, slash + 1);
    const std::string fileName = fullPath.substr(slash + 1);
    const auto refuse = [refusal](ListRefusal::Kind kind, const std::string& about, int probeResult = 0,
                                  const std::string& reason = {}) {
        if (refusal)
            *refusal = ListRefusal { kind, about, probeResult, reason };
        return false;
    };

    for (const FileEntry& entry : m_entries) {
        if (entry.caption == fileName)
            return refuse(ListRefusal::Kind::SameName, entry.FullPath());
    }
    if (!HasWavExtension(fileName))
        return refuse(ListRefusal::Kind::NotWavName, fullPath);
    WaveFileInfo info {};
    const int64_t probed = ProbeWaveFile(fullPath, info);
    if (probed == kProbeCannotRead)
        return refuse(ListRefusal::Kind::CannotRead, fullPath);
    if (probed < 0)
        return refuse(ListRefusal::Kind::NotWave, fullPath, probed, ErrorText());
    // A RIFF size of 0 is a header that was never finished; the recording behind it is
    // taken (its samples reach to the end of the file) unless there is nothing to take.
    if (probed == 0 && info.dataSize == 0)
        return refuse(ListRefusal::Kind::NotWave, fullPath, kProbeBadRiffSize,
                      ProbeResultText(kProbeBadRiffSize));

    FileEntry entry;
    entry.caption = fileName;
    entry.subItems[DirectoryCell] = directory;
    // An extensible header names its real encoding in the sub-format and its real depth in
    // the valid bits (24 significant bits in 32-bit containers, say).
    const WaveFormat& format = info.format;
    const bool extensible = format.formatTag == 0xFFFE;
    entry.subItems[FormatTagCell] =
        FormatTagName(extensible && format.subFormat != 0 ? format.subFormat : format.formatTag);
    const bool validBitsKnown =
        extensible && format.validBits > 0 && format.validBits <= format.bitsPerSample;
    entry.subItems[SampleRateCell] = std::to_string(format.sampleRate);
    entry.subItems[BitsCell] = std::to_string(validBitsKnown ? format.validBits : format.bitsPerSample);
    entry.subItems[ChannelsCell] = std::to_string(format.channels);
    entry.subItems[SizeCell] = std::to_string(info.declaredLength);
    entry.sampleFormat = info.sampleFormat;
    entry.supported = IsSupportedFormat(info.format);
    AppendEntry(entry);
    return true;
}

void FileListModel::AppendEntry(const FileEntry& entry)
{
    const int row = Count();
    beginInsertRows(QModelIndex(), row, row);
    m_entries.push_back(entry);
    endInsertRows();
}

void FileListModel::RemoveSelectedFiles(const std::set<int>& rows)
{
    // One removal per run of adjacent rows, highest run first so that the lower indexes
    // still name the rows the caller meant: a view relays itself out once per removal.
    auto it = rows.rbegin();
    while (it != rows.rend()) {
        const int last = *it;
        int first = last;
        for (++it; it != rows.rend() && *it == first - 1; ++it)
            first = *it;
        const int top = std::max(first, 0);
        const int bottom = std::min(last, Count() - 1);
        if (top > bottom)
            continue;
        beginRemoveRows(QModelIndex(), top, bottom);
        m_entries.erase(m_entries.begin() + top, m_entries.begin() + bottom + 1);
        endRemoveRows();
    }
}

void FileListModel::RemoveUnsupportedFiles()
{
    std::set<int> rows;
    for (int row = 0; row < Count(); ++row) {
        if (!m_entries[static_cast<size_t>(row)].supported)
            rows.insert(row);
    }
    RemoveSelectedFiles(rows);
}

void FileListModel::Clear()
{
    if (m_entries.empty())
        return;
    beginResetModel();
    m_entries.clear();
    endResetModel();
}

}  // namespace orva
