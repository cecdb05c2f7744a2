#include "record.h"

#include <stdexcept>

namespace standin::jvm {

Record::Record(std::uint32_t pid, std::u16string dll) : document_(Json::object()) {
    document_.set("pid", pid);
    document_.set("dll", std::move(dll));
    document_.set("version", nullptr);
    document_.set("ignoreUnrecognized", nullptr);
    document_.set("options", Json::array());
    document_.set("classPath", Json::array());
    document_.set("created", false);
    document_.set("createResult", nullptr);
    document_.set("events", Json::array());
}

Json& Record::events() {
    return *document_.find("events");
}

const Json& Record::events() const {
    return *document_.find("events");
}

Json& Record::addEvent(std::string_view call, std::uint32_t thread) {
    Json& added = events().push(Json::object());
    added.set("call", call);
    added.set("thread", thread);
    return added;
}

Json& Record::event(std::size_t index) {
    if (index >= eventCount()) throw std::out_of_range("no such event");
    return events().at(index);
}

}  // namespace standin::jvm
