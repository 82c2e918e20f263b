// Minimal JSON text building for the tool's one-line outputs.
#pragma once
#include <cstdio>
#include <string>
#include <string_view>

inline std::string JsonString(std::string_view S) {
    std::string out = "\"";
    for (unsigned char c : S) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += (char)c;
                }
        }
    }
    return out + "\"";
}

inline std::string JsonNumber(double V) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6g", V);
    return buf;
}
