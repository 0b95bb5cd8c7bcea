// Reading one text line from a stream, shared by the console and the files.
#pragma once

#include <cstdio>
#include <string>

namespace rt {

enum class LineStatus { kLine, kEnd, kError };

// Reads up to the next "\n" (not kept) into `line`, dropping one "\r" before
// it. A last line without "\n" counts when it holds any character. kEnd when
// the stream is at its end before any character, kError on a read failure.
LineStatus ReadTextLine(std::FILE* fp, std::string& line);

}  // namespace rt
