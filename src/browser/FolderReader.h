#pragma once

#include "names/NameList.h"
#include "platform/helper/HelperCall.h"

#include <QString>

#include <memory>
#include <optional>

// Reads one folder for a column through the file helper. Reading starts at once; the
// column's fill waits on call() and then takes the names.
class FolderReader {
public:
    explicit FolderReader(const QString& folder);

    [[nodiscard]] platform::HelperCall& call() { return *call_; }

    // The names of the folder once it was read, in the order the helper gives them.
    // Nothing when the folder could not be listed, the helper was lost, or the wait was
    // given up: the column then stays empty.
    std::optional<names::NameList> takeNames();

private:
    std::unique_ptr<platform::HelperCall> call_;
};
