// Console records and free-form console input.
//
// Output: every record's first character is carriage control. On a terminal
// "+" overwrites the current line and " " starts a new one, and the control
// character is not shown; otherwise every record is written unchanged, first
// character included, as a line of its own.
//
// Input: each read starts on a new line; values are separated by blanks, tabs
// or commas; further lines are read while values are missing; the rest of the
// last line is ignored. End of input is fatal error 24.
#pragma once

#include <string>

namespace rt {

// Writes one record (first character = carriage control).
void WriteRecord(const std::string& record);
// A free-form record: a blank, then the items concatenated.
void WriteFree(const std::string& items);
// Free-form integer item: right-justified in 12 characters.
std::string FreeInt(long long value);
// Writes `text` as a line of its own, without carriage control (stop texts).
void WritePlainLine(const std::string& text);
// Ends an open terminal line and flushes standard output (before the process
// exits or writes elsewhere); a write failure is fatal 38.
void FinishConsole();
// The same on the way out of a fatal error: a write failure is ignored, and
// the console is left alone from then on.
void FinishConsoleQuietly();

// Console reads. Each returns false on a read error (the caller asks again).
bool ReadInt(int& value);
bool ReadDouble(double& value);
bool ReadRealPair(float& first, float& second);
// Enter wait: consumes one whole line.
void WaitEnter();

}  // namespace rt
