#include "survey/message_text.h"

#include <cstdio>

std::string formatMessage(const char* pattern, const std::string& first, const std::string& second) {
    int length = std::snprintf(nullptr, 0, pattern, first.c_str(), second.c_str());
    if (length < 0) return std::string();
    std::string out(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(&out[0], out.size(), pattern, first.c_str(), second.c_str());
    out.resize(static_cast<size_t>(length));
    return out;
}
