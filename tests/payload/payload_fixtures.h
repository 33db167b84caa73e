#pragma once
// Documents shared by the payload document tests.

#include <sstream>
#include <string>

#include "payload/json_value.h"

namespace shuttle::testing {

inline const std::string kExampleGuid = "{6F1C2A4E-93B7-4D58-A0E2-7C4B19D8E305}";
inline const std::string kStore = "AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage";
inline const std::string kReportE = "E:\\" + kStore + "\\2024_05_17_09_30_12\\report.txt";
inline const std::string kPhotosE = "E:\\" + kStore + "\\2024_05_17_09_30_12\\photos";

// One file and one folder copied on a computer whose store drive is E.
inline const std::string kExampleDocument = "{\"GUID\":\"" + kExampleGuid + "\",\"data\":[[\"" + kReportE +
                                            "\",\"" + kPhotosE + "\"]],\"formats\":[\"CF_HDROP\"]}";

inline std::string textOf(const JsonValue& value) {
    std::ostringstream out;
    value.writeTo(out);
    return out.str();
}

// A document with the given raw list texts, in the order writeTo puts them.
inline std::string documentWith(const std::string& guid, const std::string& dataList, const std::string& formatList) {
    return "{\"GUID\":\"" + guid + "\",\"data\":" + dataList + ",\"formats\":" + formatList + "}";
}

}  // namespace shuttle::testing
