#include "data/IniLoader.h"

#include <cstdlib>
#include <cstring>

#include "data/CSV.h"
#include "data/GBufferedFile.h"
#include "diagnostics/GDebugLog.h"
#include "diagnostics/StringHelpers.h"
#include "misc/Random.h"
#include "platform/Platform.h"

namespace {

bool IsWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Length of text[0, length) without its trailing whitespace.
size_t TrimmedLength(const char* text, size_t length) {
    while (length > 0 && IsWhitespace(text[length - 1])) length--;
    return length;
}

void CopyBounded(char* buffer, size_t bufferSize, const std::string& text) {
    if (buffer == nullptr || bufferSize == 0) return;
    size_t length = text.size() < bufferSize - 1 ? text.size() : bufferSize - 1;
    memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

// The first 63 characters of a value, as the numeric getters read them.
std::string NumberText(const char* value) {
    return std::string(value, strnlen(value, 63));
}

}  // namespace

IniLoader::~IniLoader() {
    Clear();
}

bool IniLoader::Load(const std::string& section, const std::string& fileName) {
    Clear();
    GBufferedFile* file = GetBufferedFileManager().GetFile(fileName);
    FileName = fileName;
    Section = section;
    char header[256];
    snprintf(header, sizeof(header), "[%s]", section.c_str());
    const size_t headerLength = strlen(header);

    char line[2048];
    char rest[2048];
    bool inSection = false;
    bool cutReported = false;
    while (!file->IsEOF()) {
        line[0] = '\0';
        file->ReadLine(line, sizeof(line));
        // The rest of an over-long line is dropped rather than read as lines of its own.
        if (file->IsLineCut()) {
            while (file->IsLineCut()) file->ReadLine(rest, sizeof(rest));
            if (!cutReported) {
                char message[512];
                snprintf(message, sizeof(message), "ini line longer than %d characters cut in %s",
                         static_cast<int>(sizeof(line) - 1), fileName.c_str());
                GetDebugLog().Log(message);
                cutReported = true;
            }
        }
        if (line[0] == '[') {
            size_t length = TrimmedLength(line, strlen(line));
            line[length] = '\0';
            if (!inSection) {
                inSection = length == headerLength && memcmp(line, header, length) == 0;
            } else {
                inSection = false;
            }
            continue;
        }
        if (inSection) ParseRecordLine(line);
    }

    ReadIndex = 0;
    if (Values.empty()) {
        char message[512];
        snprintf(message, sizeof(message), "ini section empty %s", section.c_str());
        GetDebugLog().Log(message);
        return false;
    }
    return true;
}

void IniLoader::ParseRecordLine(const char* line) {
    const char* p = line;
    while (IsWhitespace(*p)) p++;
    const char* equals = strchr(p, '=');
    std::string key;
    std::string value;
    if (equals == nullptr) {
        // A bare key keeps its trailing whitespace.
        key.assign(p, strlen(p));
    } else {
        key.assign(p, TrimmedLength(p, static_cast<size_t>(equals - p)));
        const char* v = equals + 1;
        while (IsWhitespace(*v)) v++;
        value.assign(v, TrimmedLength(v, strlen(v)));
    }
    if (key.size() > MAXKEY) key.resize(MAXKEY);
    if (key.empty()) return;
    Append(std::move(key), std::move(value));
}

void IniLoader::LoadSectionNames(const std::string& fileName) {
    Sections.clear();
    FILE* file = Platform::OpenStream(fileName, "rt");
    if (file == nullptr) return;
    std::vector<char> buffer(32000);
    bool atLineStart = true;
    while (fgets(buffer.data(), static_cast<int>(buffer.size()), file) != nullptr) {
        size_t length = strlen(buffer.data());
        bool wholeLine = length > 0 && buffer[length - 1] == '\n';
        if (atLineStart && buffer[0] == '[') {
            std::string text = TrimTrailingWhitespace(std::string(buffer.data(), length));
            // The name ends at the first "]", so a comment after the header is not part of it.
            size_t close = text.find(']');
            Sections.push_back(close == std::string::npos ? text.substr(1)
                                                          : text.substr(1, close - 1));
        }
        atLineStart = wholeLine;
        buffer[0] = '\0';
    }
    fclose(file);
}

bool IniLoader::HasSection(const std::string& name) const {
    for (const std::string& section : Sections) {
        if (section == name) return true;
    }
    return false;
}

const IniLoader::KeyValue* IniLoader::Find(const std::string& key) const {
    for (const KeyValue& record : Values) {
        if (record.Key == key) return &record;
    }
    return nullptr;
}

const char* IniLoader::GetValue(const std::string& key) {
    const KeyValue* record = Find(key);
    return record != nullptr ? record->Value.c_str() : "";
}

bool IniLoader::HasKey(const std::string& key) const {
    return Find(key) != nullptr;
}

int32_t IniLoader::GetInt(const std::string& key) {
    long long value = strtoll(NumberText(GetValue(key)).c_str(), nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

float IniLoader::GetFloat(const std::string& key) {
    return static_cast<float>(strtod(NumberText(GetValue(key)).c_str(), nullptr));
}

void IniLoader::GetColor(const std::string& key, int32_t& red, int32_t& green, int32_t& blue,
                         int32_t& alpha) {
    char text[256];
    snprintf(text, sizeof(text), "%s", GetValue(key));
    CSV reader;
    reader.SetLine(text, ',');
    red = reader.GetNextInt();
    green = reader.GetNextInt();
    blue = reader.GetNextInt();
    alpha = reader.AtEnd() ? 255 : reader.GetNextInt();
}

void IniLoader::GetRect(const std::string& key, int32_t& first, int32_t& second, int32_t& third,
                        int32_t& fourth) {
    CSV reader;
    reader.SetLine(NumberText(GetValue(key)), ',');
    first = reader.GetNextInt();
    second = reader.GetNextInt();
    third = reader.GetNextInt();
    fourth = reader.GetNextInt();
}

std::string IniLoader::GetRandomValue() {
    if (Values.empty()) return std::string();
    return Values[static_cast<size_t>(NextRand()) % Values.size()].Value;
}

void IniLoader::LoadValueList(std::vector<std::string>& list, const std::string& section,
                              const std::string& fileName) {
    Load(section, fileName);
    char value[2048];
    value[0] = '\0';
    while (NextValue(value, sizeof(value))) {
        if (value[0] != '\0') list.push_back(value);
        value[0] = '\0';
    }
}

bool IniLoader::NextKeyValue(char* key, size_t keySize, char* value, size_t valueSize) {
    if (ReadIndex >= Values.size()) {
        CopyBounded(key, keySize, std::string());
        CopyBounded(value, valueSize, std::string());
        return false;
    }
    CopyBounded(key, keySize, Values[ReadIndex].Key);
    CopyBounded(value, valueSize, Values[ReadIndex].Value);
    ReadIndex++;
    return true;
}

bool IniLoader::NextKey(char* buffer, size_t bufferSize) {
    if (ReadIndex >= Values.size()) return false;
    CopyBounded(buffer, bufferSize, Values[ReadIndex].Key);
    ReadIndex++;
    return true;
}

bool IniLoader::NextValue(char* buffer, size_t bufferSize) {
    if (ReadIndex >= Values.size()) return false;
    CopyBounded(buffer, bufferSize, Values[ReadIndex].Value);
    ReadIndex++;
    return true;
}

void IniLoader::AddKeyValue(const std::string& key, const std::string& value) {
    Append(key, value);
}

void IniLoader::Append(std::string key, std::string value) {
    if (!key.empty() && key[0] == '/') return;
    if (!value.empty() && value[0] == '"') {
        // Quotes protect leading and trailing blanks; an unclosed quote keeps the rest.
        size_t close = value.rfind('"');
        value = close == 0 ? value.substr(1) : value.substr(1, close - 1);
    }
    Values.push_back(KeyValue{std::move(key), std::move(value)});
}

void IniLoader::AddInt(const std::string& key, int32_t value) {
    char text[32];
    snprintf(text, sizeof(text), "%d", static_cast<int>(value));
    AddKeyValue(key, text);
}

void IniLoader::AddFloat(const std::string& key, float value) {
    char text[32];
    snprintf(text, sizeof(text), "%.4f", static_cast<double>(value));
    AddKeyValue(key, text);
}

void IniLoader::AddPair(const std::string& key, float first, float second) {
    char text[32];
    snprintf(text, sizeof(text), "%.2f,%.2f", static_cast<double>(first),
             static_cast<double>(second));
    AddKeyValue(key, text);
}

void IniLoader::AddQuad(const std::string& key, int32_t first, int32_t second, int32_t third,
                        int32_t fourth) {
    char text[64];
    snprintf(text, sizeof(text), "%d,%d,%d,%d", static_cast<int>(first), static_cast<int>(second),
             static_cast<int>(third), static_cast<int>(fourth));
    AddKeyValue(key, text);
}

void IniLoader::AddString(const std::string& key, const std::string& value) {
    AddKeyValue(key, value);
}

void IniLoader::AddKey(const std::string& key) {
    AddKeyValue(key, std::string());
}

void IniLoader::RemoveKey(const std::string& key) {
    for (size_t i = 0; i < Values.size(); i++) {
        if (Values[i].Key == key) {
            Values.erase(Values.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

void IniLoader::SetInt(const std::string& key, int32_t value) {
    RemoveKey(key);
    AddInt(key, value);
}

void IniLoader::SetFloat(const std::string& key, float value) {
    RemoveKey(key);
    AddFloat(key, value);
}

void IniLoader::SetString(const std::string& key, const std::string& value) {
    RemoveKey(key);
    AddString(key, value);
}

void IniLoader::Save(const std::string& fileName) {
    WriteTo(fileName, "wt");
}

void IniLoader::Append(const std::string& fileName) {
    WriteTo(fileName, "at");
}

void IniLoader::WriteTo(const std::string& fileName, const char* mode) {
    FILE* file = Platform::OpenStream(fileName, mode);
    if (file == nullptr) return;
    Write(file);
    fclose(file);
}

void IniLoader::Write(FILE* stream) {
    if (stream == nullptr) return;
    fprintf(stream, "[%s]\n", Section.c_str());
    for (const KeyValue& record : Values) {
        if (record.Value.empty()) {
            fprintf(stream, "%s\n", record.Key.c_str());
        } else {
            fprintf(stream, "%s = %s\n", record.Key.c_str(), record.Value.c_str());
        }
    }
    fprintf(stream, "\n");
}

void IniLoader::Clear() {
    Values.clear();
}
