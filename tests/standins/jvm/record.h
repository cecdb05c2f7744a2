// The record a stand-in VM keeps of one process: what it was asked to create and every call
// that matters to a test, as one JSON document (the format is described in jvm_standin.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "json.h"

namespace standin::jvm {

class Record {
  public:
    Record(std::uint32_t pid, std::u16string dll);

    Json& document() { return document_; }
    const Json& document() const { return document_; }
    // Appends {"call": call, "thread": thread} and returns it for the caller to fill.
    Json& addEvent(std::string_view call, std::uint32_t thread);
    Json& event(std::size_t index);
    std::size_t eventCount() const { return events().size(); }
    std::string text() const { return document_.dump() + "\n"; }

  private:
    const Json& events() const;
    Json& events();

    Json document_;
};

}  // namespace standin::jvm
