/// @file
/// Reads one named section of a text settings file into an ordered list of key/value records,
/// answers lookups on it, lets the caller iterate and change the records, and writes the
/// section back out.
///
/// File format: a section starts at the line "[name]" (trailing whitespace ignored, case
/// significant) and runs to the next line that begins with "["; a repeated header opens it
/// again. Each other line is "key = value" or a bare key; a key that begins with "/" is a
/// comment; a value in double quotes keeps its blanks. Keys may repeat; lookups find the first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class IniLoader {
public:
    struct KeyValue {
        std::string Key;
        std::string Value;
    };

    /// Longest key and value kept; longer texts in a file are cut to these.
    static const size_t MAXKEY = 255;
    static const size_t MAXVALUE = 2047;

    IniLoader() = default;
    virtual ~IniLoader();
    IniLoader(const IniLoader&) = delete;
    IniLoader& operator=(const IniLoader&) = delete;

    /// Loads one section, replacing what was loaded before. True when it yielded a record; a
    /// missing file or section logs "ini section empty <section>" and gives false.
    bool Load(const std::string& section, const std::string& fileName);
    /// Gathers the names of every section header of the file.
    void LoadSectionNames(const std::string& fileName);
    bool HasSection(const std::string& name) const;
    const std::vector<std::string>& GetSections() const { return Sections; }

    /// The value of the first record with the key, or "" (valid until the records change).
    virtual const char* GetValue(const std::string& key);
    bool HasKey(const std::string& key) const;
    int32_t GetInt(const std::string& key);
    float GetFloat(const std::string& key);
    /// "r,g,b" or "r,g,b,a"; alpha is 255 when the value has three fields.
    void GetColor(const std::string& key, int32_t& red, int32_t& green, int32_t& blue,
                  int32_t& alpha);
    /// Four comma-separated integers in the order they stand; missing ones read as 0.
    void GetRect(const std::string& key, int32_t& first, int32_t& second, int32_t& third,
                 int32_t& fourth);
    /// The value of a record picked by the portable generator, or "" when there is none.
    std::string GetRandomValue();
    /// Loads the section and appends each value that is not empty to list.
    void LoadValueList(std::vector<std::string>& list, const std::string& section,
                       const std::string& fileName);
    size_t GetCount() const { return Values.size(); }

    /// Iteration with one shared position, reset by Load. Each copy is bounded by the buffer's
    /// size and always terminated. At the end: false; NextKeyValue empties both buffers, the
    /// other two leave theirs untouched.
    bool NextKeyValue(char* key, size_t keySize, char* value, size_t valueSize);
    bool NextKey(char* buffer, size_t bufferSize);
    bool NextValue(char* buffer, size_t bufferSize);

    /// Appends a record; a key that begins with "/" adds nothing and a value that begins with
    /// a double quote loses it and everything from its last double quote on.
    void AddKeyValue(const std::string& key, const std::string& value);
    void AddInt(const std::string& key, int32_t value);
    void AddFloat(const std::string& key, float value);
    void AddPair(const std::string& key, float first, float second);
    void AddQuad(const std::string& key, int32_t first, int32_t second, int32_t third,
                 int32_t fourth);
    void AddString(const std::string& key, const std::string& value);
    void AddKey(const std::string& key);
    /// Removes the first record with the key.
    void RemoveKey(const std::string& key);
    /// Remove, then add: the record moves to the end.
    void SetInt(const std::string& key, int32_t value);
    void SetFloat(const std::string& key, float value);
    void SetString(const std::string& key, const std::string& value);

    /// Writes the section to a new file (Save) or the end of a file (Append); a file that
    /// cannot be opened is skipped.
    void Save(const std::string& fileName);
    void Append(const std::string& fileName);
    void Write(FILE* stream);
    /// Drops every record; the iteration position stays.
    void Clear();

private:
    const KeyValue* Find(const std::string& key) const;
    void ParseRecordLine(const char* line);
    /// AddKeyValue on texts the loader no longer needs.
    void Append(std::string key, std::string value);
    void WriteTo(const std::string& fileName, const char* mode);

    std::vector<std::string> Sections;
    unsigned ReadIndex = 0;
    std::vector<KeyValue> Values;
    std::string Section;
    std::string FileName;
};
