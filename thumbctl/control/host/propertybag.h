#pragma once
// A property bag: named values in the order they were written, with a text
// form a container stores with its document.
#include <string>
#include <utility>
#include <vector>

#include "thumbctl/control/host/variant.h"

namespace host {

class PropertyBag {
public:
    // Replaces a value of the same name (any letter case) or appends.
    void write(const std::string& name, const Variant& value);
    // False when there is no such name.
    bool read(const std::string& name, Variant* value) const;
    bool contains(const std::string& name) const;
    const std::vector<std::pair<std::string, Variant>>& entries() const { return entries_; }
    void clear() { entries_.clear(); }

    // One line a value: `Name = type value`, strings quoted with \" \\ \n escapes.
    std::string toText() const;
    // False (bag unchanged) on a malformed line; *error names it.
    bool fromText(const std::string& text, std::string* error = nullptr);

private:
    std::vector<std::pair<std::string, Variant>> entries_;
};

} // namespace host
