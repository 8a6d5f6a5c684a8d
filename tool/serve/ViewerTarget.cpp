// ViewerTarget: percent-decoding of a request target's path and parameters.
#include "tool/serve/ViewerTarget.h"

namespace qarvex {

namespace tool {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Decodes text into out; plusIsSpace for parameters. False on a broken escape, a control byte or
// a decoded zero byte.
bool decode(std::string_view text, bool plusIsSpace, std::string &out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (static_cast<unsigned char>(c) <= ' ' || c == '\x7F')
            return false;
        if (c == '+' && plusIsSpace) {
            out += ' ';
            continue;
        }
        if (c != '%') {
            out += c;
            continue;
        }
        int high = i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
        int low = high < 0 ? -1 : hexValue(text[i + 2]);
        if (low < 0 || (high == 0 && low == 0))
            return false;
        out += char(high * 16 + low);
        i += 2;
    }
    return true;
}

} // namespace

size_t ViewerTarget::count(std::string_view name) const {
    size_t found = 0;
    for (const auto &parameter : parameters)
        found += parameter.first == name;
    return found;
}

std::string ViewerTarget::value(std::string_view name) const {
    for (const auto &parameter : parameters)
        if (parameter.first == name)
            return parameter.second;
    return "";
}

bool parseTarget(std::string_view text, ViewerTarget &target) {
    target = ViewerTarget();
    size_t question = text.find('?');
    std::string_view path = text.substr(0, question);
    if (path.empty() || path[0] != '/' || !decode(path, false, target.path))
        return false;
    if (question == std::string_view::npos)
        return true;
    std::string_view query = text.substr(question + 1);
    while (!query.empty()) {
        size_t amp = query.find('&');
        std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (pair.empty())
            continue; // "a=1&&b=2" and a trailing '&' say nothing
        size_t equals = pair.find('=');
        std::string name, value;
        if (!decode(pair.substr(0, equals), true, name) ||
            (equals != std::string_view::npos && !decode(pair.substr(equals + 1), true, value)))
            return false;
        target.parameters.emplace_back(std::move(name), std::move(value));
    }
    return true;
}

} // namespace tool

} // namespace qarvex
