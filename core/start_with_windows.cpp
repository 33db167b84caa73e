#include "core/start_with_windows.h"

#include <algorithm>

namespace shuttle {
namespace {

// Upper case for the letters file names use most: ASCII (drive letters, "Program Files") and
// Latin-1 (user names in Western languages). Other scripts compare exactly, which at worst
// shows the item unchecked for a value someone retyped in another case.
char16_t foldCase(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - u'a' + u'A');
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    return c;
}

bool samePath(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return foldCase(x) == foldCase(y); });
}

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view trimmed(std::u16string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

std::u16string startCommand(const std::u16string& program) { return u"\"" + program + u"\""; }

bool commandStarts(const std::u16string& command, const std::u16string& program) {
    std::u16string_view text = trimmed(command);
    if (program.empty() || text.empty()) return false;
    if (text.front() == u'"') {
        const size_t close = text.find(u'"', 1);
        if (close == std::u16string_view::npos) return false;
        const std::u16string_view rest = text.substr(close + 1);
        return samePath(text.substr(1, close - 1), program) && (rest.empty() || isBlank(rest.front()));
    }
    // Unquoted: the path may hold blanks itself, so it is the program's path followed by the
    // end or by a blank before arguments.
    if (text.size() < program.size() || !samePath(text.substr(0, program.size()), program)) return false;
    return text.size() == program.size() || isBlank(text[program.size()]);
}

bool startsWithWindows(RunKey& key, const std::u16string& program) {
    const auto command = key.read(kRunValueName);
    return command && commandStarts(*command, program);
}

bool setStartWithWindows(RunKey& key, const std::u16string& program, bool on) {
    if (on) return key.write(kRunValueName, startCommand(program)) && startsWithWindows(key, program);
    if (!startsWithWindows(key, program)) return true;
    return key.remove(kRunValueName);
}

bool startsAtLogon(RunKey& user, RunKey& machine, const std::u16string& program) {
    return startsWithWindows(user, program) || startsWithWindows(machine, program);
}

StartToggle toggleStartAtLogon(RunKey& user, RunKey& machine, const std::u16string& program) {
    StartToggle toggle;
    toggle.on = !startsAtLogon(user, machine, program);
    toggle.failed = !setStartWithWindows(user, program, toggle.on);
    toggle.machineStillOn = !toggle.on && startsWithWindows(machine, program);
    return toggle;
}

}  // namespace shuttle
