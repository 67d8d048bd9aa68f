// The system's messages are printf-style templates with text arguments.
#pragma once

#include <string>

// `pattern` with its %s filled by `first` and then `second`, whatever their length.
std::string formatMessage(const char* pattern, const std::string& first, const std::string& second = std::string());
