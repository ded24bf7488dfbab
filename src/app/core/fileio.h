#pragma once
#include <string>

namespace tl {

// Reads a whole file as bytes. Throws AppError("Cannot open file %s").
std::string readWholeFile(const std::string &path);
// Returns false instead of throwing.
bool tryReadWholeFile(const std::string &path, std::string &out);

// Writes a whole file through a temporary file in the same folder that is
// renamed over the target, so a crash or a full disk never leaves half a file.
// Throws AppError with the given message (default "Cannot create file %s")
// when the file cannot be written; the old file then stays as it was.
void writeWholeFileAtomic(const std::string &path, const std::string &bytes);
void writeWholeFileAtomic(const std::string &path, const std::string &bytes,
                          const std::string &failureMessage);

bool fileExists(const std::string &path);
bool dirExists(const std::string &path);

} // namespace tl
