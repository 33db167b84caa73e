#pragma once
// Serial ports, store drives and the clipboard listener of a pretend computer. An open sets the
// flags as the real one does, and a port with the device behind it is ready at once (as if
// probed during the supervisor's one-second wait).

#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/link_state.h"
#include "core/settings.h"
#include "platform/clock.h"
#include "app/link_environment.h"

namespace shuttle::testing {

struct Readiness {
    bool copy, paste;
};

class FakeLinkEnvironment final : public LinkEnvironment {
public:
    struct Open {
        std::u16string text;
        uint64_t tick;
    };

    FakeLinkEnvironment(Settings& settings, LinkState& link, Clock& clock)
        : settings_(settings), link_(link), clock_(clock) {}

    std::vector<std::u16string> presentPortNames() override {
        ++portListings;
        std::vector<std::u16string> names;
        for (uint32_t number : presentPorts) names.push_back(portName(number));
        return names;
    }
    std::u16string portName(uint32_t number) override {
        const std::string name = "COM" + std::to_string(number);
        return std::u16string(name.begin(), name.end());
    }

    void openSelectedLink(const std::u16string& text) override {
        opens.push_back({text, clock_.tickMs()});
        if (onOpen) onOpen(text);
        if (settings_.usbMode()) {
            settings_.storeSelection.set(text);
            link_.openAttempted = 1;
            return;
        }
        unsigned number = 0;
        std::string narrow(text.begin(), text.end());
        uint32_t port = std::sscanf(narrow.c_str(), "COM%u", &number) == 1 ? number : settings_.comPort.load();
        link_.copyReady = 0;
        link_.pasteReady = 0;
        if (link_.portOpen != 0) closePort();
        link_.openAttempted = 1;
        if (port == kNoComPort || presentPorts.count(port) == 0 || busyPorts.count(port) != 0 ||
            deniedPorts.count(port) != 0) {
            link_.openFailure = deniedPorts.count(port) != 0 ? SerialOpenFailure::NoPermission : SerialOpenFailure::Other;
            link_.portNumber = kNoComPort;
            link_.linkConnected = 0;
            return;
        }
        link_.portNumber = port;
        link_.linkConnected = 1;
        link_.portOpen = 1;
        auto device = devices.find(port);
        if (device != devices.end()) {
            link_.copyReady = device->second.copy ? 1 : 0;
            link_.pasteReady = device->second.paste ? 1 : 0;
        }
    }

    void closePort() override {
        ++closes;
        link_.portOpen = 0;
        link_.portNumber = kNoComPort;
    }

    std::vector<LinkDrive> findStoreDrives() override { return drives; }
    bool isDirectory(const std::u16string& path) override {
        directoryQueries.push_back(path);
        return directories.count(path) != 0;
    }
    bool addClipboardListener() override {
        listenerEvents.push_back("add");
        if (refuseListener > 0) {
            --refuseListener;
            return false;
        }
        listening = true;
        return true;
    }
    void removeClipboardListener() override {
        listening = false;
        listenerEvents.push_back("remove");
    }

    std::vector<std::u16string> openedTexts() const {
        std::vector<std::u16string> texts;
        for (const Open& open : opens) texts.push_back(open.text);
        return texts;
    }

    std::set<uint32_t> presentPorts;
    std::set<uint32_t> busyPorts;
    std::set<uint32_t> deniedPorts;  // this user may not open them
    std::map<uint32_t, Readiness> devices;
    std::vector<LinkDrive> drives;
    std::set<std::u16string> directories;
    std::function<void(const std::u16string&)> onOpen;

    std::vector<Open> opens;
    int closes = 0;
    int portListings = 0;
    std::vector<std::u16string> directoryQueries;
    bool listening = false;
    int refuseListener = 0;  // the next registrations that fail
    std::vector<std::string> listenerEvents;

private:
    Settings& settings_;
    LinkState& link_;
    Clock& clock_;
};

}  // namespace shuttle::testing
