// Expansion of the file items of a pack command.
#include "common/file_list.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include "common/entry_names.h"

namespace archivers {
namespace {

struct FileId {
    bool valid = false;
    dev_t device = 0;
    ino_t inode = 0;
};

FileId IdOf(const std::string& path) {
    FileId id;
    struct stat st;
    if (!path.empty() && ::stat(path.c_str(), &st) == 0) {
        id.valid = true;
        id.device = st.st_dev;
        id.inode = st.st_ino;
    }
    return id;
}

bool PlainFile(const std::string& path, struct stat* st) {
    return ::stat(path.c_str(), st) == 0 && S_ISREG(st->st_mode);
}

void AddFile(std::vector<SourceFile>* files, SourceFile file) {
    auto same = std::find_if(files->begin(), files->end(),
                             [&](const SourceFile& f) { return f.name == file.name; });
    if (same != files->end()) files->erase(same);
    files->push_back(std::move(file));
}

}  // namespace

bool ExpandFileList(const std::vector<std::string>& items, const std::string& excluded,
                    std::vector<SourceFile>* files, std::string* error) {
    const FileId skip = IdOf(excluded);
    auto isExcluded = [&](const struct stat& st) {
        return skip.valid && st.st_dev == skip.device && st.st_ino == skip.inode;
    };
    for (const std::string& item : items) {
        size_t slash = item.find_last_of('/');
        std::string directory = slash == std::string::npos ? "./" : item.substr(0, slash + 1);
        std::string pattern = slash == std::string::npos ? item : item.substr(slash + 1);
        if (pattern.find_first_of("*?") == std::string::npos) {
            struct stat st;
            if (!PlainFile(item, &st)) {
                *error = "not a plain file: " + item;
                return false;
            }
            if (isExcluded(st)) continue;
            AddFile(files, {item, pattern, static_cast<int64_t>(st.st_mtime)});
            continue;
        }
        DIR* dir = ::opendir(directory.c_str());
        if (!dir) {
            *error = "cannot read the directory " + directory;
            return false;
        }
        std::vector<std::string> names;
        while (struct dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            if (WildcardMatch(pattern, name)) names.push_back(name);
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            std::string path = directory + name;
            struct stat st;
            if (!PlainFile(path, &st) || isExcluded(st)) continue;
            AddFile(files, {path, name, static_cast<int64_t>(st.st_mtime)});
        }
    }
    return true;
}

}  // namespace archivers
