// Clicks, double clicks and right clicks in the browser columns.

#include "browser/CColumnList.h"
#include "platform/DesktopOpen.h"
#include "platform/FileSystem.h"
#include "platform/PathJoin.h"
#include "res/MenuTemplates.h"
#include "res/Texts.h"
#include "ui/CDirquillDlg.h"
#include "ui/HelperWait.h"
#include "ui/MessageBox.h"

#include <QCursor>
#include <QMenu>

#include <cerrno>

void CDirquillDlg::OnColumnClick(int k) {
    // A click on a volume not mounted yet mounts it, then lists it like any drive.
    bool locked = false;
    if (k == 0) {
        OpenSelectedVolume(&locked);
    }
    if (k < kColumnCount - 1) {
        RefillColumnsFrom(k + 1);
    }
    if (locked && !HelperWait::closing(this)) {
        AfxMessageBox(QString::fromUtf8(texts::kVolumeLockedByWindows)
                          .arg(Column(0).GetItemDisplayText(SelectedRow(0))));
    }
}

void CDirquillDlg::OnColumnDblClk(int k) {
    for (int c = 0; c <= k; ++c) {
        if (SelectedRow(c) < 0) {
            return;
        }
    }
    // A path holding a NUL would be opened cut short, so it is refused as every command
    // refuses it.
    // The entry the column listed: where a link and ".." led its folder elsewhere than
    // its text reads, the folder as the listing found it.
    QString path = SelectionPath(k);
    if (k + 1 < kColumnCount && Column(k + 1).ListedFrom() == path &&
        !Column(k + 1).RealFolder().isEmpty()) {
        path = Column(k + 1).RealFolder();
    } else if (k > 0 && !Column(k).RealFolder().isEmpty()) {
        path = platform::joinPath(Column(k).RealFolder(), Column(k).GetItemText(SelectedRow(k)));
    }
    if (path.contains(QChar(u'\0'))) {
        AfxMessageBox(platform::describeError(EINVAL));
        return;
    }
    platform::openWithDesktop(path);
}

void CDirquillDlg::OnColumnRClick(int k) {
    if (k < kColumnCount - 1) {
        RefillColumnsFrom(k + 1);
    }
    // The close box during the refill ends the window; no menu comes up for it.
    if (HelperWait::closing(this)) {
        return;
    }
    const QPoint cursor = QCursor::pos();
    const auto menus = res::columnMenus();
    const res::SubMenuTemplate& sub = menus[static_cast<std::size_t>(k)];
    QMenu menu(this);
    menu.setTitle(QString::fromUtf8(sub.name));
    menu.setAccessibleName(menu.title());
    for (const auto& item : sub.items) {
        QAction* action = menu.addAction(QString::fromUtf8(item.text));
        action->setData(item.command);
    }
    if (const QAction* chosen = menu.exec(cursor); chosen != nullptr) {
        OnCommandId(chosen->data().toInt());
    }
}
