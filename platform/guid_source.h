#pragma once
// New GUIDs in registry text form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with upper-case
// hexadecimal digits, as UTF-16 (the system's own text).

#include <memory>
#include <string>

namespace shuttle {

class GuidSource {
public:
    virtual ~GuidSource() = default;
    virtual std::u16string newGuid() = 0;
};

// The system's generator (CoCreateGuid on Windows; a random version-4 GUID elsewhere).
GuidSource& systemGuidSource();

}  // namespace shuttle
