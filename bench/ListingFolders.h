#pragma once

#include <string>
#include <vector>

// The folders the listing benchmark reads. Each is made once under a base folder and
// reused: a marker beside it says it is complete (a million files take seconds to make).
namespace bench {

enum class NameKind {
    Numbered, // file-0000001.txt
    Camera,   // IMG_20230301_000123.jpg, dates over ten months, made in shuffled order
    Random,   // 5-25 characters: letters, digits, space and -_.(), unique by a number
    Han,      // 2-12 Han characters and an extension
};

struct Folder {
    std::string label;
    std::string path;
    long count;
    NameKind kind;
};

// The folders measured: each kind at 100,000 and 1,000,000 names, the Han names at
// 10,000 and 100,000. Without `million`, the largest of each kind is left out.
std::vector<Folder> listingFolders(const std::string& base, bool million);

// The names of the folder's files, in the order they are made.
std::vector<std::string> namesOf(const Folder& folder);

// Makes the folder unless it is complete already.
void ensureFolder(const Folder& folder);

} // namespace bench
