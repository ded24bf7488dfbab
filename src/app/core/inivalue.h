#pragma once
// How settings values are written into an INI file and read back, by type.
// The form storage of the windows and the project type both use these, so
// a value written by one reads back the same through the other.
//
//  - text: leading and trailing blanks and control characters removed; a
//    value whose first and last characters are both double quotes, or both
//    single quotes, gets one more double quote at each end (the reader strips
//    one enclosing pair, so it comes back unchanged);
//  - integer: decimal digits with "-" for negatives; text that is not an
//    integer reads as 0;
//  - Boolean: "True" or "False", read without regard to case; any other text
//    leaves the value unchanged.
#include <optional>
#include <string>

namespace tl {

// Leading and trailing spaces and control characters removed.
std::string iniTrimControls(const std::string &s);
// One more pair of double quotes around a value enclosed in a pair of quotes.
std::string iniQuoted(const std::string &v);

std::string iniWriteText(const std::string &bytes);
std::string iniReadText(const std::string &value);
std::string iniWriteInteger(long long n);
int iniReadInteger(const std::string &value);
std::string iniWriteBoolean(bool b);
// Nothing when the text is neither "True" nor "False".
std::optional<bool> iniReadBoolean(const std::string &value);

} // namespace tl
