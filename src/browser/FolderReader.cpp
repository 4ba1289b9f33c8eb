#include "browser/FolderReader.h"

FolderReader::FolderReader(const QString& folder) : call_(platform::HelperCall::list(folder)) {}

std::optional<names::NameList> FolderReader::takeNames() {
    if (call_->state() != platform::HelperCall::State::Done || call_->error() != 0) {
        return std::nullopt;
    }
    names::NameList names = call_->takeNames();
    names.trimSlack();
    return names;
}
