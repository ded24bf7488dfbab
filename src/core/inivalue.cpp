#include "core/inivalue.h"

#include "core/errors.h"
#include "core/ini.h"

namespace tl {

std::string iniTrimControls(const std::string &s)
{
    return trimmedIf(s, [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

std::string iniQuoted(const std::string &v)
{
    if (!v.empty() && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return "\"" + v + "\"";
    return v;
}

std::string iniWriteText(const std::string &bytes) { return iniQuoted(iniTrimControls(bytes)); }

std::string iniReadText(const std::string &value) { return iniTrimControls(value); }

std::string iniWriteInteger(long long n) { return std::to_string(n); }

int iniReadInteger(const std::string &value)
{
    int n = 0;
    return tryStrToInt(iniTrimControls(value), n) ? n : 0;
}

std::string iniWriteBoolean(bool b) { return b ? "True" : "False"; }

std::optional<bool> iniReadBoolean(const std::string &value)
{
    if (iniNamesEqual(value, "False"))
        return false;
    if (iniNamesEqual(value, "True"))
        return true;
    return std::nullopt;
}

} // namespace tl
