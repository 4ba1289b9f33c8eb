#pragma once

#include "store/CConnection.h"

#include <QString>

#include <functional>

// The three statements on table `workspace`. Holds nothing but the connection reference;
// each operation runs its statement and returns, raising ComError on failure.
class CWorkspaceStore {
public:
    explicit CWorkspaceStore(ConnectionPtr connection) : connection_(std::move(connection)) {}
    virtual ~CWorkspaceStore() = default;

    // "SELECT * FROM workspace": calls `appendRow` once per record, in the order the
    // database delivers them; NULL gives an empty text, a number its text form.
    void LoadWorkDirs(const std::function<void(const QString&)>& appendRow) const;

    // Inserts one record whose column `workspace` holds `dir` unchanged.
    void AddWorkDir(const QString& dir) const;

    // Removes every record whose `workspace` equals `dir` exactly (bound, never pasted).
    void DeleteWorkDir(const QString& dir) const;

    // Creates a new database file `fileName` holding an empty table `workspace`. Never
    // touches an existing file: one that exists raises ComError(0x80070050).
    static void CreateDatabase(const QString& fileName);

private:
    ConnectionPtr connection_;
};
