// The per-user registry of classes: a small text file with keys and named values, the same tree
// that self-registration writes and object creation reads ("CLSID\{...}\InprocServer32",
// "KELVANE.KelvaneCtrl.1\CLSID"). Keys are matched without regard to case.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

class RegistryFile {
  public:
    // $XDG_CONFIG_HOME/quillon/registry, else ~/.config/quillon/registry.
    static std::filesystem::path default_path();
    // A missing file is an empty registry; unreadable lines are skipped.
    static RegistryFile load(const std::filesystem::path& path);

    // The empty name is the key's default value.
    std::optional<std::string> value(std::string_view key, std::string_view name = {}) const;
    void set_value(std::string_view key, std::string_view name, std::string_view value);
    // Removes the key and every key below it; true when anything was removed.
    bool delete_tree(std::string_view key);
    bool empty() const { return m_keys.empty(); }

    // Writes the whole file through a temporary and a rename, so readers never see half of it.
    bool save(const std::filesystem::path& path) const;

  private:
    struct NoCase {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    using Values = std::map<std::string, std::string, NoCase>;
    std::map<std::string, Values, NoCase> m_keys;
};
