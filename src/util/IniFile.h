// A small INI file store: "[section]" headers and "key=value" lines; ';' and '#' start comments.
// Every call reads the file again and every write rewrites it whole, under a lock shared with every
// other writer (in this process or another) and through a temporary file of a unique name, so readers
// and writers see each other's changes and no key is lost. Missing files and keys give the defaults.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace util {

class IniFile {
  public:
    IniFile(std::string path, std::string section);

    // The value of key, or fallback when the file or key is missing.
    std::string GetString(const std::string& key, const std::string& fallback = {}) const;
    // The value of key read as an unsigned number with base 0 (0x... hexadecimal, 0... octal) and taken
    // as a signed int; fallback when the key is missing or its value is not a number as a whole.
    int GetInt(const std::string& key, int fallback) const;
    // Sets key to value, creating the file and its folder when needed. False when writing failed.
    bool SetString(const std::string& key, const std::string& value) const;
    bool SetInt(const std::string& key, int value) const;
    // Sets several keys in one rewrite of the file.
    bool SetStrings(const std::vector<std::pair<std::string, std::string>>& values) const;

    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::string section_;
};

}  // namespace util
