// The commands of the level columns' menus: new folder, delete to the trash, rename.
// Each takes the column it was chosen in; the handlers per column only pass it on.

#include "browser/CColumnList.h"
#include "names/VisibleText.h"
#include "platform/FileSystem.h"
#include "platform/PathJoin.h"
#include "platform/helper/HelperCall.h"
#include "platform/helper/HelperFault.h"
#include "res/Texts.h"
#include "res/resource.h"
#include "ui/CDirquillDlg.h"
#include "ui/CRenameDlg.h"
#include "ui/HelperWait.h"
#include "ui/MessageBox.h"

#include <cerrno>

namespace {

// `entry` is the entry's path as the columns show it.
void reportFailure(const char* format, const QString& entry, int error) {
    AfxMessageBox(QString::fromUtf8(format).arg(entry, platform::describeError(error)));
}

} // namespace

// Starts a change in the file helper and waits for it while column k shows that it is
// under way. Returns 0 or the errno value; work given up by the user counts as failed
// (ECANCELED), and nothing is started once the window is closing.
int CDirquillDlg::RunFileChange(
    int k, const std::function<std::unique_ptr<platform::HelperCall>()>& start) {
    if (HelperWait::closing(this)) {
        return ECANCELED;
    }
    const std::unique_ptr<platform::HelperCall> call = start();
    HelperWait(this, &Column(k), HelperWait::Kind::Processing).wait(*call);
    // A fault of the file helper itself (even for a new folder) is told here, in its own
    // words, and is no refusal of the system's for the caller to report.
    if (call->loss() != platform::HelperCall::Loss::None) {
        TellHelperFault(*call);
        return 0;
    }
    return call->error();
}

void CDirquillDlg::TellHelperFault(const platform::HelperCall& call) {
    const QString text = platform::helperFaultText(call);
    if (!text.isEmpty() && !HelperWait::closing(this)) {
        AfxMessageBox(text);
    }
}

namespace {

// Whether a failure is worth a message: not once the user has closed the window.
bool shouldReport(const QWidget* window, int error) {
    return error != 0 && !HelperWait::closing(window);
}

} // namespace

bool CDirquillDlg::ColumnShowsSelectedFolder(int k) {
    for (int c = 0; c < k; ++c) {
        if (SelectedRow(c) < 0) {
            return false;
        }
    }
    if (!RootSelectionIsFolder()) {
        return false;
    }
    // After the selection on the left moved by keyboard, column k still shows the old
    // folder; acting on a same-named entry of the new one would touch the wrong file.
    if (Column(k).ListedFrom() != SelectionPath(k - 1)) {
        RefillColumnsFrom(k);
        return false;
    }
    return true;
}

void CDirquillDlg::NewFolderIn(int k) {
    if (!ColumnShowsSelectedFolder(k)) {
        return;
    }
    const QString parent = SelectionPath(k - 1);
    CRenameDlg prompt;
    prompt.SetName(QString::fromUtf8(texts::kNewFolderName));
    if (prompt.DoModal() != IDOK) {
        return;
    }
    // A folder that cannot be made is not reported, as the refilled column shows it;
    // except an invalid name, which nothing in the column can show, and a name the
    // volume refuses, which the user could not tell from the column.
    const QString name = prompt.GetName();
    const QString folder = platform::joinPath(parent, name);
    if (const int error =
            RunFileChange(k, [&folder] { return platform::HelperCall::makeFolder(folder); });
        error == EINVAL && shouldReport(this, error)) {
        if (platform::refusedByWindowsVolumes(name)) {
            AfxMessageBox(
                QString::fromUtf8(texts::kNewFolderFailed)
                    .arg(platform::joinPath(SelectionDisplayPath(k - 1), names::visibleText(name)),
                         platform::describeNameError(error, name)));
        } else {
            AfxMessageBox(platform::describeError(error));
        }
    }
    RefillColumnsFrom(k);
}

void CDirquillDlg::DeleteIn(int k) {
    if (SelectedRow(k) < 0 || !ColumnShowsSelectedFolder(k)) {
        return;
    }
    const QString path = SelectionPath(k);
    const QString shown = SelectionDisplayPath(k);
    if (const int error = RunFileChange(k, [&path] { return platform::HelperCall::trash(path); });
        shouldReport(this, error)) {
        reportFailure(texts::kDeleteFailed, shown, error);
    }
    RefillColumnsFrom(k);
}

void CDirquillDlg::RenameIn(int k) {
    if (SelectedRow(k) < 0 || !ColumnShowsSelectedFolder(k)) {
        return;
    }
    const QString source = SelectionPath(k);
    const QString shownSource = SelectionDisplayPath(k);
    const QString parent = SelectionPath(k - 1);
    CRenameDlg prompt;
    // The prompt holds the name's real characters, never the stand-ins its row shows.
    const QString read = Column(k).GetItemEditText(SelectedRow(k));
    prompt.SetName(read);
    if (prompt.DoModal() != IDOK) {
        return;
    }
    // The text read need not encode back to the entry's bytes (a GBK name): left as it
    // was, it asks for no change. An edited name is written in UTF-8.
    if (prompt.GetName() == read) {
        RefillColumnsFrom(k);
        return;
    }
    const QString target = platform::joinPath(parent, prompt.GetName());
    if (const int error =
            RunFileChange(k, [&] { return platform::HelperCall::rename(source, target); });
        shouldReport(this, error)) {
        AfxMessageBox(QString::fromUtf8(texts::kRenameFailed)
                          .arg(shownSource, platform::describeNameError(error, prompt.GetName())));
    }
    RefillColumnsFrom(k);
}
