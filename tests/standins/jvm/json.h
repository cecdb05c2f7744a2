// The little JSON the record needs: built in memory, written as UTF-8 in one go. Strings are
// held in UTF-16 so that a Java string reaches the record exactly, an unpaired surrogate
// included (written as a \u escape, which JSON allows and UTF-8 could not carry).
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace standin::jvm {

class Json {
  public:
    using Array = std::vector<Json>;
    using Members = std::vector<std::pair<std::string, Json>>;

    Json() : value_(nullptr) {}
    Json(std::nullptr_t) : value_(nullptr) {}
    Json(bool value) : value_(value) {}
    template <std::integral T>
    requires(!std::same_as<T, bool>) Json(T value) : value_(static_cast<long long>(value)) {}
    Json(std::u16string value) : value_(std::move(value)) {}
    Json(std::u16string_view value) : value_(std::u16string(value)) {}
    // UTF-8 text; malformed bytes become U+FFFD.
    Json(std::string_view utf8);
    Json(const std::string& utf8) : Json(std::string_view(utf8)) {}
    Json(const char* utf8) : Json(std::string_view(utf8)) {}

    static Json array() { return Json(Array{}); }
    static Json object() { return Json(Members{}); }

    // On an object: replaces the member of that name or appends it, keeping the order in
    // which members were first set.
    Json& set(std::string_view key, Json value);
    // On an array: appends and returns the new element.
    Json& push(Json value);

    Json* find(std::string_view key);
    const Json* find(std::string_view key) const;
    // On an array: the element at `index`; throws when there is none.
    Json& at(std::size_t index);
    const Json& at(std::size_t index) const { return const_cast<Json*>(this)->at(index); }
    bool isNull() const { return std::holds_alternative<std::nullptr_t>(value_); }
    std::size_t size() const;
    Json& back();

    std::string dump() const;

  private:
    explicit Json(Array value) : value_(std::move(value)) {}
    explicit Json(Members value) : value_(std::move(value)) {}
    void write(std::string& out) const;

    std::variant<std::nullptr_t, bool, long long, std::u16string, Array, Members> value_;
};

// The JSON string literal of UTF-16 text, quotes included.
std::string jsonString(std::u16string_view text);

}  // namespace standin::jvm
