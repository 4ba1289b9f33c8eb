// What each browser column holds and how it is listed from the selections to its left.

#include "app/CDirquillApp.h"
#include "browser/CColumnList.h"
#include "browser/FolderReader.h"
#include "platform/FileSystem.h"
#include "platform/PathJoin.h"
#include "platform/volumes/Volumes.h"
#include "res/Texts.h"
#include "store/CWorkspaceStore.h"
#include "store/ComError.h"
#include "ui/CDirquillDlg.h"
#include "ui/HelperWait.h"
#include "ui/MessageBox.h"

namespace {
constexpr int kInitialColumnWidth = 220;
constexpr unsigned kColumnStyle = CColumnList::kGridLines | CColumnList::kFullRowSelect;
} // namespace

int CDirquillDlg::SelectedRow(int c) const {
    return Column(c).GetSelectedRow();
}

QString CDirquillDlg::SelectionPath(int c) const {
    QString path = Column(0).GetItemText(SelectedRow(0));
    for (int i = 1; i <= c; ++i) {
        path = platform::joinPath(path, Column(i).GetItemText(SelectedRow(i)));
    }
    return path;
}

QString CDirquillDlg::SelectionDisplayPath(int c) const {
    QString path = Column(0).GetItemDisplayText(SelectedRow(0));
    for (int i = 1; i <= c; ++i) {
        path = platform::joinPath(path, Column(i).GetItemDisplayText(SelectedRow(i)));
    }
    return path;
}

void CDirquillDlg::SetUpColumns() {
    for (int c = 0; c < kColumnCount; ++c) {
        Column(c).InsertColumn(QString::fromUtf8(texts::kColumnHeaders[c]), kInitialColumnWidth);
    }
    for (int c = 0; c < kColumnCount; ++c) {
        Column(c).SetExtendedStyle(kColumnStyle);
    }
    FillRootColumn();
    for (int k = 1; k < kColumnCount; ++k) {
        FillLevelColumn(k);
    }
}

void CDirquillDlg::FillRootColumn() {
    CColumnList& root = Column(0);
    root.DeleteAllItems();
    root.SetRedraw(false);
    root.InsertItem(QString::fromUtf8(texts::kDriveHeadingRow));
    for (const QString& drive : platform::driveRoots()) {
        root.InsertItem(drive);
    }
    // Then the volumes nobody has mounted yet, each at the place it will be mounted.
    m_firstVolumeRow = root.GetItemCount();
    m_volumeRows = platform::volumes::unmountedDriveVolumes();
    for (const platform::volumes::Volume& volume : m_volumeRows) {
        root.InsertItem(volume.place);
    }
    root.InsertItem(QString());
    root.InsertItem(QString::fromUtf8(texts::kWorkDirHeadingRow));
    try {
        const CWorkspaceStore store(theApp.m_pConnection);
        store.LoadWorkDirs([&root](const QString& dir) { root.InsertItem(dir); });
    } catch (const ComError& error) {
        AfxMessageBox(error.ErrorMessage());
    }
    root.SetRedraw(true);
}

void CDirquillDlg::FillLevelColumn(int k) {
    CColumnList& column = Column(k);
    column.DeleteAllItems();
    column.SetListedFrom(std::nullopt);
    column.SetRealFolder({});
    for (int c = 0; c < k; ++c) {
        if (SelectedRow(c) < 0) {
            return;
        }
    }
    if (k == 1 && Column(0).GetItemText(SelectedRow(0)).isEmpty()) {
        return;
    }
    // A volume not mounted yet has nothing to list; only a click mounts it.
    if (k == 1 && UnmountedVolumeAt(SelectedRow(0)) != nullptr) {
        return;
    }
    // Once the window is closing nothing new is asked of the file helper: the folder
    // may well be the one that never answered.
    if (HelperWait::closing(this)) {
        return;
    }
    const QString folder = SelectionPath(k - 1);
    column.SetListedFrom(folder);
    FolderReader reader(folder);
    HelperWait(this, &column, HelperWait::Kind::Reading).wait(reader.call());
    if (auto names = reader.takeNames()) {
        column.SetRealFolder(reader.call().reached());
        column.SetItems(std::move(*names));
    } else {
        TellHelperFault(reader.call());
    }
}

void CDirquillDlg::RefillColumnsFrom(int k) {
    for (int c = k; c < kColumnCount; ++c) {
        FillLevelColumn(c);
    }
}

bool CDirquillDlg::RootSelectionIsFolder() const {
    const CColumnList& root = Column(0);
    const int row = root.GetSelectedRow();
    if (row <= 0 || root.GetItemText(row).isEmpty()) {
        return false;
    }
    // The rows up to the work-directory heading are: the drive heading, the drives,
    // the blank row and the heading itself. Drive rows end in a separator, so none of
    // them can read like the heading.
    const QString heading = QString::fromUtf8(texts::kWorkDirHeadingRow);
    for (int r = 1; r < root.GetItemCount(); ++r) {
        if (root.GetItemText(r) == heading) {
            return row < r - 1 || row > r;
        }
    }
    return true;
}
