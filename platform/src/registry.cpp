// The text-file registry: a file in the form of a registry export,
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CLASSES_ROOT\CLSID\{...}]
//   @="Pelmora dataset"
//
//   [HKEY_CLASSES_ROOT\CLSID\{...}\InProcServer32]
//   @="/opt/sarvenu/libpelmora.so"
//   "ThreadingModel"="Apartment"
//
// with "\" and '"' escaped by a backslash inside names and values (and, beyond
// the export format, line breaks as \n and \r). Keys and value names compare
// without regard to ASCII case and keep the spelling they were created with.
// The file is read afresh on every call; every change rewrites it atomically.
// A missing file is an empty registry; a file that exists but cannot be read
// is never overwritten.
#include "platform/registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRoot = "HKEY_CLASSES_ROOT";

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && Lower(text.substr(0, prefix.size())) == Lower(prefix);
}

struct Key {
    std::string name;  // as first written, relative to the classes root
    std::vector<std::pair<std::string, std::string>> values;  // in order of creation

    std::pair<std::string, std::string>* Find(const std::string& valueName) {
        std::string lower = Lower(valueName);
        for (auto& v : values)
            if (Lower(v.first) == lower) return &v;
        return nullptr;
    }
};

// Keys by lower-case path; the map's order puts each parent before its children.
using Hive = std::map<std::string, Key>;

// Normalises a key path: an optional root prefix is dropped, as are leading and
// trailing separators. Empty when the path is empty or has an empty component.
std::string NormaliseKey(std::string_view key) {
    for (std::string_view root : {kRoot, std::string_view("HKCR")}) {
        if (StartsWithNoCase(key, root) &&
            (key.size() == root.size() || key[root.size()] == '\\')) {
            key.remove_prefix(root.size());
            break;
        }
    }
    while (!key.empty() && key.front() == '\\') key.remove_prefix(1);
    while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
    if (key.find("\\\\") != std::string_view::npos) return {};
    for (char c : key)
        if (c == '\n' || c == '\r' || c == '\0') return {};
    return std::string(key);
}

std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// Reads a quoted string starting at text[pos] == '"'; pos ends after the closing quote.
bool ParseQuoted(std::string_view text, size_t& pos, std::string* out) {
    if (pos >= text.size() || text[pos] != '"') return false;
    ++pos;
    out->clear();
    while (pos < text.size()) {
        char c = text[pos++];
        if (c == '"') return true;
        if (c == '\\' && pos < text.size()) {
            char e = text[pos++];
            *out += e == 'n' ? '\n' : e == 'r' ? '\r' : e;
        } else {
            *out += c;
        }
    }
    return false;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

void AddKey(Hive& hive, const std::string& name) {
    std::string lower = Lower(name);
    if (hive.find(lower) == hive.end()) hive.emplace(lower, Key{name, {}});
}

// Adds the key and every parent it lacks.
Key& CreateKey(Hive& hive, const std::string& name) {
    for (size_t pos = name.find('\\'); pos != std::string::npos; pos = name.find('\\', pos + 1))
        AddKey(hive, name.substr(0, pos));
    AddKey(hive, name);
    return hive.find(Lower(name))->second;
}

Hive Parse(std::string_view text) {
    Hive hive;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    Key* current = nullptr;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            current = nullptr;
            size_t close = line.rfind(']');
            if (close == std::string_view::npos) continue;
            std::string name = NormaliseKey(line.substr(1, close - 1));
            // Only keys under the classes root belong to this registry.
            std::string_view raw = line.substr(1, close - 1);
            if (name.empty() || !StartsWithNoCase(raw, std::string(kRoot) + "\\")) continue;
            current = &CreateKey(hive, name);
            continue;
        }
        if (!current) continue;
        std::string valueName, value;
        size_t pos = 0;
        if (line.front() == '@') {
            pos = 1;
        } else if (!ParseQuoted(line, pos, &valueName)) {
            continue;
        }
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
        if (pos >= line.size() || line[pos] != '=') continue;
        ++pos;
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
        if (!ParseQuoted(line, pos, &value)) continue;  // only string values are kept
        if (auto* existing = current->Find(valueName))
            existing->second = value;
        else
            current->values.emplace_back(valueName, value);
    }
    return hive;
}

std::string Serialise(const Hive& hive) {
    std::string out(kHeader);
    out += "\n";
    for (const auto& [lower, key] : hive) {
        out += "\n[";
        out += kRoot;
        out += '\\';
        out += key.name;
        out += "]\n";
        for (const auto& [name, value] : key.values) {
            if (name.empty())
                out += "@";
            else
                out += "\"" + Escape(name) + "\"";
            out += "=\"" + Escape(value) + "\"\n";
        }
    }
    return out;
}

// Reads the hive; false when the file exists but cannot be read.
bool Load(Hive* hive) {
    hive->clear();
    std::string path = RegistryPath();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR;
    std::string text;
    char buffer[8192];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    *hive = Parse(text);
    return true;
}

bool MakeDirectories(const std::string& directory) {
    if (directory.empty()) return true;
    struct stat st;
    if (::stat(directory.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    size_t slash = directory.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(directory.substr(0, slash)))
        return false;
    return ::mkdir(directory.c_str(), 0777) == 0 || errno == EEXIST;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Replaces the file atomically: temporary file in the same directory, synced,
// renamed over the old one, directory synced.
bool Save(const Hive& hive) {
    std::string path = RegistryPath();
    size_t slash = path.find_last_of('/');
    std::string directory = slash == std::string::npos ? "."
                            : slash == 0               ? "/"
                                                       : path.substr(0, slash);
    if (!MakeDirectories(directory)) return false;
    static std::atomic<unsigned> counter{0};
    std::string temp =
        path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, Serialise(hive)) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool HasSubkeys(const Hive& hive, const std::string& lowerKey) {
    std::string prefix = lowerKey + "\\";
    auto it = hive.lower_bound(prefix);
    return it != hive.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

std::string RegistryPath() {
    if (const char* path = std::getenv("SARVENU_REGISTRY"); path && *path) return path;
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        config = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            struct passwd* pw = ::getpwuid(::getuid());
            home = pw && pw->pw_dir ? pw->pw_dir : "/tmp";
        }
        config = std::string(home) + "/.config";
    }
    return config + "/sarvenu/registry.reg";
}

bool RegSetString(const std::string& key, const std::string& valueName, const std::string& value) {
    std::string name = NormaliseKey(key);
    if (name.empty()) return false;
    Hive hive;
    if (!Load(&hive)) return false;
    Key& k = CreateKey(hive, name);
    if (auto* existing = k.Find(valueName))
        existing->second = value;
    else
        k.values.emplace_back(valueName, value);
    return Save(hive);
}

bool RegGetString(const std::string& key, const std::string& valueName, std::string* value) {
    std::string name = NormaliseKey(key);
    if (name.empty()) return false;
    Hive hive;
    if (!Load(&hive)) return false;
    auto it = hive.find(Lower(name));
    if (it == hive.end()) return false;
    auto* found = it->second.Find(valueName);
    if (!found) return false;
    if (value) *value = found->second;
    return true;
}

bool RegDeleteKey(const std::string& key) {
    std::string name = NormaliseKey(key);
    if (name.empty()) return false;
    Hive hive;
    if (!Load(&hive)) return false;
    std::string lower = Lower(name);
    auto it = hive.find(lower);
    if (it == hive.end()) return true;
    if (HasSubkeys(hive, lower)) return false;
    hive.erase(it);
    return Save(hive);
}

bool RegKeyExists(const std::string& key) {
    std::string name = NormaliseKey(key);
    if (name.empty()) return false;
    Hive hive;
    if (!Load(&hive)) return false;
    return hive.count(Lower(name)) != 0;
}

}  // namespace platform
