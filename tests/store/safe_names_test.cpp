#include <gtest/gtest.h>

#include "store/safe_names.h"

namespace shuttle {
namespace {

TEST(SafeNames, NamesWindowsCannotHoldAreStoredUnderSafeNamesAndOthersStayAsTheyAre) {
    const std::pair<std::string, std::string> cases[] = {
        {"report.txt", "report.txt"},
        {"Notes für Anna 🚀.txt", "Notes für Anna 🚀.txt"},
        {"a:b*c?d\"e<f>g|h\\i", "a_b_c_d_e_f_g_h_i"},
        {"tab\there\nline", "tab_here_line"},
        {"name.", "name_"},
        {"name ", "name_"},
        {"..", "._"},
        {"", "_"},
        {"caf\xE9.txt", "caf_.txt"},                 // not UTF-8
        {"a\xEF\x80\xBA" "b", "a_b"},                 // a host's ":" in its Windows spelling
        {"CON", "CON_"},
        {"con.txt", "con_.txt"},
        {"Nul.tar.gz", "Nul_.tar.gz"},
        {"COM1", "COM1_"},
        {"lpt9.log", "lpt9_.log"},
        {"COM\xC2\xB9.txt", "COM\xC2\xB9_.txt"},      // COM¹
        {"AUX .txt", "AUX _.txt"},
        {"CONSOLE.txt", "CONSOLE.txt"},
        {"COM10", "COM10"},
        {"xcon.txt", "xcon.txt"},
    };
    for (const auto& [name, stored] : cases) {
        const StoreName safe = safeStoreName(name);
        EXPECT_EQ(safe.name, stored) << name;
        EXPECT_EQ(safe.changed, stored != name) << name;
    }
}

}  // namespace
}  // namespace shuttle
