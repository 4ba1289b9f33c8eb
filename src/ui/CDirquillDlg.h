#pragma once

#include "platform/volumes/VolumeRows.h"
#include "ui/CDialog.h"

#include <QIcon>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

class CColumnList;

namespace platform {
class HelperCall;
}

// The main window: five browser columns side by side. It keeps no state of its own
// beyond its columns; every handler reads rows and selections back from them.
class CDirquillDlg : public CDialog {
    Q_OBJECT
public:
    static constexpr int kColumnCount = 5;
    static constexpr int kSizeRestored = 0;
    static constexpr int kSizeMinimized = 1;

    explicit CDirquillDlg(QWidget* parent = nullptr);

    // Layout
    void LayoutColumns();
    void OnSize(int type, int cx, int cy);

    // Columns (browser/ColumnFill.cpp)
    [[nodiscard]] CColumnList& Column(int c) const;
    [[nodiscard]] int SelectedRow(int c) const;
    [[nodiscard]] QString SelectionPath(int c) const;
    // The same path as the columns show it, for messages: a name that is not UTF-8 reads
    // as in its column (a GBK name in Chinese), not in its lossless form, and characters
    // that could hide or reorder it show as their stand-ins, in the work directory too.
    [[nodiscard]] QString SelectionDisplayPath(int c) const;
    void SetUpColumns();
    void FillRootColumn();
    void FillLevelColumn(int k);
    void RefillColumnsFrom(int k);

    // Notifications of the columns (browser/ColumnClicks.cpp)
    void OnColumnClick(int k);
    void OnColumnDblClk(int k);
    void OnColumnRClick(int k);

    // The window menu: the window's own commands and the About item.
    void ShowSystemMenu(const QPoint& globalPos);
    void OnSysCommand(int id);

    // Menu commands, dispatched through the command map.
    bool OnCommandId(int id);
    void OnAddWorkDir();
    void OnDeleteWorkDir();
    void OnNewFolder1() { NewFolderIn(1); }
    void OnNewFolder2() { NewFolderIn(2); }
    void OnNewFolder3() { NewFolderIn(3); }
    void OnNewFolder4() { NewFolderIn(4); }
    void OnDelete1() { DeleteIn(1); }
    void OnDelete2() { DeleteIn(2); }
    void OnDelete3() { DeleteIn(3); }
    void OnDelete4() { DeleteIn(4); }
    void OnRename1() { RenameIn(1); }
    void OnRename2() { RenameIn(2); }
    void OnRename3() { RenameIn(3); }
    void OnRename4() { RenameIn(4); }

protected:
    bool OnInitDialog() override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // The file commands of level column k (fileops/FileCommands.cpp).
    void NewFolderIn(int k);
    void DeleteIn(int k);
    void RenameIn(int k);
    int RunFileChange(int k, const std::function<std::unique_ptr<platform::HelperCall>()>& start);
    // True when column k shows the folder that the selections to its left name; a stale
    // column is listed again instead and false returned.
    bool ColumnShowsSelectedFolder(int k);
    // True when the selected row of column 0 names a folder (a drive or a work
    // directory), not a heading or the blank row.
    [[nodiscard]] bool RootSelectionIsFolder() const;
    // The volume that column 0's row stands for while it is not mounted yet, or null.
    [[nodiscard]] const platform::volumes::Volume* UnmountedVolumeAt(int row) const;
    // Mounts the volume of column 0's selected row when it is one not mounted yet and
    // puts the row's text right; false when it stays unmounted. `lockedByWindows` tells
    // whether it came up read-only because Windows holds it (browser/VolumeOpen.cpp).
    bool OpenSelectedVolume(bool* lockedByWindows);
    void ConnectColumns();
    // Fits the window, frame included where known, into the screen's available area.
    void FitOnScreen();
    // Tells the user when the file helper itself failed `call` (see helperFaultText).
    void TellHelperFault(const platform::HelperCall& call);

    CColumnList* m_list4 = nullptr;
    CColumnList* m_list3 = nullptr;
    CColumnList* m_list2 = nullptr;
    CColumnList* m_list1 = nullptr;
    CColumnList* m_list0 = nullptr;
    QIcon m_hIcon;
    // The client size of the last layout.
    QSize m_laidOutSize;
    bool m_helperPrepared = false;
    // Whether the window was fitted to the screen with its frame, once that was known.
    bool m_frameFitted = false;
    // The rows of column 0 from m_firstVolumeRow on stand for these volumes, not mounted
    // when the column was filled; a volume the program mounts is marked so.
    QList<platform::volumes::Volume> m_volumeRows;
    int m_firstVolumeRow = 0;
};
