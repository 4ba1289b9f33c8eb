#include "ListingFolders.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <numeric>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace bench {

namespace {

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

void putUtf8(std::string& out, char32_t c) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
}

// A camera's names: a counter unique across the folder, and a new day every
// count / 304 pictures, so that ten months of days are spread over the folder.
std::string cameraName(long i, long count) {
    constexpr int kDays = 304;
    constexpr int kMonthDays[] = {31, 30, 31, 30, 31, 31, 30, 31, 30, 31}; // March on
    long day = i * kDays / count;
    int month = 0;
    while (day >= kMonthDays[month]) {
        day -= kMonthDays[month];
        ++month;
    }
    char name[40];
    std::snprintf(name, sizeof name, "IMG_2023%02d%02ld_%06ld.jpg", month + 3, day + 1,
                  i % 1000000);
    return name;
}

std::string randomName(long i, std::mt19937_64& random) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                        "0123456789 -_.()";
    const std::string number = std::to_string(i);
    const auto length = static_cast<std::size_t>(5 + random() % 21);
    std::string name;
    while (name.size() + number.size() < length) {
        name.push_back(kAlphabet[random() % (sizeof kAlphabet - 1)]);
    }
    // A leading character keeps "." and ".." out.
    name.insert(0, 1, kAlphabet[random() % 52]);
    return name + number;
}

std::string hanName(std::mt19937_64& random) {
    static constexpr const char* kExtensions[] = {".txt", ".docx", ".jpg", ".pdf", ".xlsx"};
    const int length = 2 + static_cast<int>(random() % 11);
    std::string name;
    for (int k = 0; k < length; ++k) {
        putUtf8(name, static_cast<char32_t>(0x4E00 + random() % (0x9FA5 - 0x4E00)));
    }
    return name + kExtensions[random() % 5];
}

} // namespace

std::vector<std::string> namesOf(const Folder& folder) {
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(folder.count));
    std::mt19937_64 random(static_cast<std::uint64_t>(folder.count) * 7919U +
                           static_cast<std::uint64_t>(folder.kind));
    std::unordered_set<std::string> seen;
    char plain[32];
    for (long i = 0; i < folder.count; ++i) {
        switch (folder.kind) {
        case NameKind::Numbered:
            std::snprintf(plain, sizeof plain, "file-%07ld.txt", i);
            names.emplace_back(plain);
            break;
        case NameKind::Camera:
            names.push_back(cameraName(i, folder.count));
            break;
        case NameKind::Random:
            names.push_back(randomName(i, random));
            break;
        case NameKind::Han: {
            std::string name = hanName(random);
            while (!seen.insert(name).second) {
                name = hanName(random);
            }
            names.push_back(std::move(name));
            break;
        }
        }
    }
    if (folder.kind == NameKind::Camera) {
        // Pictures copied off a card arrive in no particular order.
        std::shuffle(names.begin(), names.end(), random);
    }
    return names;
}

std::vector<Folder> listingFolders(const std::string& base, bool million) {
    std::vector<Folder> folders;
    const auto add = [&](const char* stem, NameKind kind, long count) {
        const std::string label = std::string(stem) + "-" + std::to_string(count);
        folders.push_back({label, base + "/" + label, count, kind});
    };
    for (const long count : {100000L, 1000000L}) {
        if (count == 1000000L && !million) {
            continue;
        }
        add("files", NameKind::Numbered, count);
        add("camera", NameKind::Camera, count);
        add("random", NameKind::Random, count);
        add("han", NameKind::Han, count / 10);
    }
    return folders;
}

void ensureFolder(const Folder& folder) {
    const std::string marker = folder.path + ".complete";
    if (exists(marker)) {
        return;
    }
    std::fprintf(stderr, "creating %s (%ld files)...\n", folder.path.c_str(), folder.count);
    ::mkdir(folder.path.c_str(), 0755);
    const int dir = ::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir < 0) {
        std::perror(folder.path.c_str());
        std::exit(1);
    }
    for (const std::string& name : namesOf(folder)) {
        const int fd = ::openat(dir, name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0) {
            std::perror(name.c_str());
            std::exit(1);
        }
        ::close(fd);
    }
    ::close(dir);
    std::ofstream(marker) << folder.count << '\n';
}

} // namespace bench
