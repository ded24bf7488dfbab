#pragma once
#include <stdexcept>
#include <string>

namespace tl {

// The one failure type of the program. Its message is the text the user sees,
// worded exactly ("Cannot open file %s", "'%s' is not a valid integer value").
class AppError : public std::runtime_error {
public:
    explicit AppError(const std::string &message) : std::runtime_error(message) {}
};

// A local file that cannot be created or replaced ("Cannot create file %s"):
// the failure is the local disk's, not the network's, so a transfer of many
// files can name it and go on with the next.
class LocalFileError : public AppError {
public:
    using AppError::AppError;
};

// Message texts shared across subsystems. Each takes the path or text that
// stands in place of "%s".
std::string msgCannotOpenFile(const std::string &path);
std::string msgCannotCreateFile(const std::string &path);
std::string msgNotValidInteger(const std::string &text);
std::string msgNotValidTime(const std::string &text);
std::string msgUnableToWrite(const std::string &path);

// Parses a decimal integer the way the program's settings and names need it:
// optional surrounding blanks, optional sign, digits, 32-bit signed range.
// Throws AppError("'%s' is not a valid integer value") otherwise.
int strToInt(const std::string &text);
// Same, returning false instead of throwing.
bool tryStrToInt(const std::string &text, int &out);

} // namespace tl
