// Column 0's rows for volumes nobody has mounted yet: the click that mounts one.

#include "browser/CColumnList.h"
#include "names/NameCodec.h"
#include "platform/FileSystem.h"
#include "platform/volumes/MountCall.h"
#include "platform/volumes/Volumes.h"
#include "res/Texts.h"
#include "ui/CDirquillDlg.h"
#include "ui/HelperWait.h"
#include "ui/MessageBox.h"

const platform::volumes::Volume* CDirquillDlg::UnmountedVolumeAt(int row) const {
    const qsizetype index = row - m_firstVolumeRow;
    if (row < 0 || index < 0 || index >= m_volumeRows.size() || m_volumeRows[index].mounted) {
        return nullptr;
    }
    return &m_volumeRows[index];
}

bool CDirquillDlg::OpenSelectedVolume(bool* lockedByWindows) {
    using platform::volumes::MountCall;
    *lockedByWindows = false;
    const int row = SelectedRow(0);
    if (UnmountedVolumeAt(row) == nullptr || HelperWait::closing(this)) {
        return false;
    }
    platform::volumes::Volume& volume = m_volumeRows[row - m_firstVolumeRow];
    // Messages and the waiting line name the row as it shows: a label can hold any
    // character.
    const QString shown = Column(0).GetItemDisplayText(row);

    // A mount given up earlier may have finished since, or another program mounted it.
    std::optional<platform::Mount> mount = platform::volumes::currentMount(volume);
    if (!mount) {
        const std::unique_ptr<MountCall> call = MountCall::mount(volume);
        HelperWait(this, &Column(1), HelperWait::Kind::Opening, shown).wait(*call);
        switch (call->outcome()) {
        case MountCall::Outcome::Mounted:
            break;
        case MountCall::Outcome::Gone:
            // Another volume may have taken its device; the rows are read anew.
            if (!HelperWait::closing(this)) {
                FillRootColumn();
                AfxMessageBox(QString::fromUtf8(texts::kVolumeGone).arg(shown));
            }
            return false;
        case MountCall::Outcome::NotAllowed:
            if (!HelperWait::closing(this)) {
                AfxMessageBox(QString::fromUtf8(texts::kVolumeNotAllowed).arg(shown));
            }
            return false;
        case MountCall::Outcome::Failed:
            if (!HelperWait::closing(this)) {
                AfxMessageBox(platform::describeMountFailure(shown, call->message()));
            }
            return false;
        default: // dismissed by the user, given up, or the window closing
            return false;
        }
        volume.mountPoints = {names::encodeName(call->mountPoint())};
        mount = platform::volumes::currentMount(volume);
        if (!mount) {
            mount.emplace();
            mount->mountPoint = volume.mountPoints.first();
        }
    }

    // The service may have chosen another place than the row said (a name already taken
    // gets a number).
    QString place = names::decodeName(
        std::string_view(mount->mountPoint.constData(), std::size_t(mount->mountPoint.size())));
    if (!place.endsWith(QLatin1Char('/'))) {
        place.append(QLatin1Char('/'));
    }
    volume.mounted = true;
    volume.place = place;
    if (place != Column(0).GetItemText(row)) {
        Column(0).SetItemText(row, place);
    }
    *lockedByWindows = platform::volumes::lockedByWindows(volume, mount->superOptions);
    return true;
}
