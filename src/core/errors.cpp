#include "core/errors.h"

#include <cctype>
#include <climits>

namespace tl {

std::string msgCannotOpenFile(const std::string &path) { return "Cannot open file " + path; }
std::string msgCannotCreateFile(const std::string &path) { return "Cannot create file " + path; }
std::string msgNotValidInteger(const std::string &text)
{
    return "'" + text + "' is not a valid integer value";
}
std::string msgNotValidTime(const std::string &text) { return "'" + text + "' is not a valid time"; }
std::string msgUnableToWrite(const std::string &path) { return "Unable to write to " + path; }

bool tryStrToInt(const std::string &text, int &out)
{
    size_t i = 0, n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    while (n > i && (text[n - 1] == ' ' || text[n - 1] == '\t'))
        --n;
    bool neg = false;
    if (i < n && (text[i] == '-' || text[i] == '+')) {
        neg = text[i] == '-';
        ++i;
    }
    if (i >= n)
        return false;
    long long v = 0;
    for (; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (!std::isdigit(c))
            return false;
        v = v * 10 + (c - '0');
        if (v > static_cast<long long>(INT_MAX) + 1)
            return false;
    }
    if (neg)
        v = -v;
    if (v < INT_MIN || v > INT_MAX)
        return false;
    out = static_cast<int>(v);
    return true;
}

int strToInt(const std::string &text)
{
    int v = 0;
    if (!tryStrToInt(text, v))
        throw AppError(msgNotValidInteger(text));
    return v;
}

} // namespace tl
