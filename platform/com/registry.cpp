#include "platform/com/registry.h"

#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace {

// The default value is written as "@", the other names as they are.
constexpr std::string_view kDefaultName = "@";

int lower(char c) {
    return std::tolower(static_cast<unsigned char>(c));
}

bool starts_with_no_case(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lower(text[i]) != lower(prefix[i])) return false;
    return true;
}

}  // namespace

bool RegistryFile::NoCase::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return lower(x) < lower(y); });
}

std::filesystem::path RegistryFile::default_path() {
    std::filesystem::path base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        base = config;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::filesystem::path(home) / ".config";
    else
        base = "/tmp";
    return base / "quillon" / "registry";
}

RegistryFile RegistryFile::load(const std::filesystem::path& path) {
    RegistryFile registry;
    std::ifstream in(path);
    std::string line;
    std::string key;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            key = line.substr(1, line.size() - 2);
            registry.m_keys[key];
            continue;
        }
        const auto equals = line.find('=');
        if (key.empty() || equals == std::string::npos) continue;
        std::string name = line.substr(0, equals);
        if (name == kDefaultName) name.clear();
        registry.m_keys[key][name] = line.substr(equals + 1);
    }
    return registry;
}

std::optional<std::string> RegistryFile::value(std::string_view key, std::string_view name) const {
    const auto k = m_keys.find(std::string(key));
    if (k == m_keys.end()) return std::nullopt;
    const auto v = k->second.find(std::string(name));
    if (v == k->second.end()) return std::nullopt;
    return v->second;
}

void RegistryFile::set_value(std::string_view key, std::string_view name, std::string_view value) {
    // Line breaks would split a value into lines of its own when read back.
    std::string clean(value);
    std::replace(clean.begin(), clean.end(), '\n', ' ');
    m_keys[std::string(key)][std::string(name)] = clean;
}

bool RegistryFile::delete_tree(std::string_view key) {
    const std::string below = std::string(key) + "\\";
    return std::erase_if(m_keys, [&](const auto& entry) {
               return (entry.first.size() == key.size() && starts_with_no_case(entry.first, key)) ||
                      starts_with_no_case(entry.first, below);
           }) > 0;
}

bool RegistryFile::save(const std::filesystem::path& path) const {
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    const auto temporary = path.string() + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::trunc);
        if (!out) return false;
        out << "# Quillon per-user class registry\n";
        for (const auto& [key, values] : m_keys) {
            out << '[' << key << "]\n";
            for (const auto& [name, value] : values)
                out << (name.empty() ? std::string(kDefaultName) : name) << '=' << value << '\n';
        }
        if (!out.flush()) return false;
    }
    std::filesystem::rename(temporary, path, error);
    return !error;
}
