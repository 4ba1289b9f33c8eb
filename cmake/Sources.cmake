# Source lists of the libraries, one block per folder.

# Names: the name codec, the shown text, the order and the name lists. No window, no file system.
set(DIRQUILL_NAMES_SOURCES
  src/names/MisreadGbk.cpp
  src/names/NameCodec.cpp
  src/names/KeyWindow.cpp
  src/names/NameList.cpp
  src/names/NameOrder.cpp
  src/names/VisibleText.cpp
  src/names/PinyinReadings.cpp
  src/names/PinyinSearch.cpp
  src/names/PrefixSearch.cpp
)

set(DIRQUILL_CORE_SOURCES
  # res: texts and tables the core needs
  res/Texts.cpp
  res/MessageTable.cpp
  # platform
  src/platform/FolderListing.cpp
  src/platform/MountTable.cpp
  src/platform/DrivePlaces.cpp
  src/platform/DriveRoots.cpp
  src/platform/FileChanges.cpp
  src/platform/ErrorText.cpp
  src/platform/MountOfPath.cpp
  src/platform/PathReach.cpp
  src/platform/PendingCall.h
  # platform/trash: the durable move into the trash, its folders, info text and journal
  src/platform/trash/Trash.cpp
  src/platform/trash/TrashFolder.cpp
  src/platform/trash/TrashInfo.cpp
  src/platform/trash/TrashJournal.cpp
  # platform/volumes: which of the storage service's volumes are drive rows
  src/platform/volumes/VolumeRows.cpp
  # platform/helper: both ends of the file helper's pipe
  src/platform/helper/HelperProtocol.cpp
  src/platform/helper/HelperServer.cpp
  src/platform/helper/HelperAnswer.cpp
  src/platform/helper/HelperCall.cpp
  src/platform/helper/HelperFault.cpp
  # store
  src/store/ComError.cpp
  src/store/CConnection.cpp
  src/store/CWorkspaceStore.cpp
)

# The storage service's client (QtDBus), kept out of the file helper.
set(DIRQUILL_VOLUMES_SOURCES
  src/platform/volumes/MountCall.cpp
  src/platform/volumes/StorageService.cpp
  src/platform/volumes/Volumes.cpp
)

set(DIRQUILL_UI_SOURCES
  # res: dialog and menu tables
  res/DialogTemplates.cpp
  res/MenuTemplates.cpp
  res/Icon.cpp
  # platform services that need the desktop
  src/platform/DesktopOpen.cpp
  # ui
  src/ui/DialogUnits.cpp
  src/ui/CDialog.cpp
  src/ui/MessageBox.cpp
  src/ui/PlainText.cpp
  src/ui/DialogOwner.cpp
  src/ui/ModifiedSpace.cpp
  src/ui/WindowFit.cpp
  src/ui/HelperWait.cpp
  src/ui/CDirquillDlg.cpp
  src/ui/CWorkDirDlg.cpp
  src/ui/CRenameDlg.cpp
  src/ui/CAgreementDlg.cpp
  src/ui/CAboutDlg.cpp
  # browser
  src/browser/ColumnModel.cpp
  src/browser/CColumnList.cpp
  src/browser/ColumnFill.cpp
  src/browser/ColumnClicks.cpp
  src/browser/FolderReader.cpp
  src/browser/VolumeOpen.cpp
  src/browser/WorkDirCommands.cpp
  # file commands
  src/fileops/FileCommands.cpp
  # app
  src/app/CDirquillApp.cpp
)
