#pragma once
// A container's event sink that keeps every event the control fires, with its
// arguments, and runs the container's handler inside each one.
#include "thumbctl/control/host/object.h"

#include <functional>

namespace host {

class EventRecorder : public EventSink {
public:
    struct Event {
        int32_t id;
        std::vector<Variant> args;
        bool operator==(const Event& o) const { return id == o.id && args == o.args; }
    };
    std::vector<Event> events;
    std::function<void(int32_t id, std::vector<Variant>& args)> onEvent;

    void OnEvent(int32_t id, std::vector<Variant>& args) override
    {
        events.push_back({id, args});
        if (onEvent) onEvent(id, args);
    }
};

} // namespace host
