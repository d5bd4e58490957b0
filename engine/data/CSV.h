/// @file
/// Splits one line of text into fields at a chosen separator, with double quotes protecting
/// separators, and hands the fields out one at a time as text, numbers or bools. Callers read
/// the lines themselves and pass each one in.
#pragma once

#include <cstdint>
#include <string>

class CSV {
public:
    CSV() = default;
    CSV(const CSV&) = delete;
    CSV& operator=(const CSV&) = delete;

    /// Starts reading a new line (of any length) at its first field.
    void SetLine(std::string line, char separator);
    /// The same for a terminated text, without a temporary copy.
    void SetLine(const char* line, char separator);
    /// The next field; empty text once the line is used up. Quote characters are dropped (kept
    /// when SetKeepQuotes is on) and switch separators off and on.
    std::string GetNextString();
    /// The next field without its trailing blanks, carriage returns and line feeds.
    std::string GetNextTrimmedString();
    /// The next field as a decimal number (0 when it is none; saturates at the int32 range).
    int32_t GetNextInt();
    float GetNextFloat();
    /// True when the next field reads as a number other than 0.
    bool GetNextBool();
    /// True when every character of the line has been read.
    bool AtEnd() const { return Pos >= BufferLen; }
    void SetKeepQuotes(bool keep) { KeepQuotes = keep; }

private:
    /// Reads the next field into Field and returns its length up to the first NUL.
    size_t ReadField();
    /// Reads the next field without its trailing blanks, CR and LF; the text stays in Field.
    const char* ReadTrimmedField();

    int32_t Pos = 0;
    std::string Line;
    std::string Field;
    int32_t BufferLen = 0;
    char Separator = ',';
    bool KeepQuotes = false;
};
