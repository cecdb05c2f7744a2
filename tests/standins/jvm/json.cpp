#include "json.h"

#include <stdexcept>

#include "text.h"

namespace standin::jvm {
namespace {

bool isSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

void appendEscape(std::string& out, unsigned value) {
    static const char kHex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(value >> shift) & 0xF]);
}

}  // namespace

Json::Json(std::string_view utf8) : value_(utf8ToUtf16(utf8)) {}

Json& Json::set(std::string_view key, Json value) {
    auto* members = std::get_if<Members>(&value_);
    if (members == nullptr) throw std::logic_error("Json::set on a value that is no object");
    for (auto& member : *members) {
        if (member.first == key) {
            member.second = std::move(value);
            return member.second;
        }
    }
    members->emplace_back(std::string(key), std::move(value));
    return members->back().second;
}

Json& Json::push(Json value) {
    auto* array = std::get_if<Array>(&value_);
    if (array == nullptr) throw std::logic_error("Json::push on a value that is no array");
    array->push_back(std::move(value));
    return array->back();
}

Json* Json::find(std::string_view key) {
    auto* members = std::get_if<Members>(&value_);
    if (members == nullptr) return nullptr;
    for (auto& member : *members) {
        if (member.first == key) return &member.second;
    }
    return nullptr;
}

const Json* Json::find(std::string_view key) const {
    return const_cast<Json*>(this)->find(key);
}

Json& Json::at(std::size_t index) {
    auto* array = std::get_if<Array>(&value_);
    if (array == nullptr || index >= array->size()) throw std::out_of_range("no such element");
    return (*array)[index];
}

std::size_t Json::size() const {
    if (auto* array = std::get_if<Array>(&value_)) return array->size();
    if (auto* members = std::get_if<Members>(&value_)) return members->size();
    return 0;
}

Json& Json::back() {
    auto* array = std::get_if<Array>(&value_);
    if (array == nullptr || array->empty()) throw std::logic_error("Json::back without elements");
    return array->back();
}

std::string Json::dump() const {
    std::string out;
    write(out);
    return out;
}

void Json::write(std::string& out) const {
    if (std::holds_alternative<std::nullptr_t>(value_)) {
        out += "null";
    } else if (auto* flag = std::get_if<bool>(&value_)) {
        out += *flag ? "true" : "false";
    } else if (auto* number = std::get_if<long long>(&value_)) {
        out += std::to_string(*number);
    } else if (auto* text = std::get_if<std::u16string>(&value_)) {
        out += jsonString(*text);
    } else if (auto* array = std::get_if<Array>(&value_)) {
        out.push_back('[');
        for (std::size_t i = 0; i < array->size(); ++i) {
            if (i > 0) out += ", ";
            (*array)[i].write(out);
        }
        out.push_back(']');
    } else {
        const auto& members = std::get<Members>(value_);
        out.push_back('{');
        for (std::size_t i = 0; i < members.size(); ++i) {
            if (i > 0) out += ", ";
            out += jsonString(utf8ToUtf16(members[i].first));
            out += ": ";
            members[i].second.write(out);
        }
        out.push_back('}');
    }
}

std::string jsonString(std::u16string_view text) {
    std::string out = "\"";
    std::size_t runStart = 0;
    auto flushRun = [&](std::size_t end) {
        out += utf16ToUtf8(text.substr(runStart, end - runStart));
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        bool paired = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                      text[i + 1] <= 0xDFFF;
        if (paired) {
            ++i;
            continue;
        }
        const char* shortForm = nullptr;
        switch (c) {
            case u'"':
                shortForm = "\\\"";
                break;
            case u'\\':
                shortForm = "\\\\";
                break;
            case u'\b':
                shortForm = "\\b";
                break;
            case u'\f':
                shortForm = "\\f";
                break;
            case u'\n':
                shortForm = "\\n";
                break;
            case u'\r':
                shortForm = "\\r";
                break;
            case u'\t':
                shortForm = "\\t";
                break;
            default:
                break;
        }
        if (shortForm == nullptr && c >= 0x20 && c != 0x7F && !isSurrogate(c)) continue;
        flushRun(i);
        if (shortForm != nullptr) {
            out += shortForm;
        } else {
            appendEscape(out, c);
        }
        runStart = i + 1;
    }
    flushRun(text.size());
    out.push_back('"');
    return out;
}

}  // namespace standin::jvm
