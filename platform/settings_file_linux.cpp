#include "platform/settings_file_linux.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <vector>

#include "base/utf8.h"
#include "platform/unique_fd.h"

namespace shuttle {
namespace {

std::string escaped(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out.push_back(c);
    }
    return out;
}

std::string unescaped(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        const char next = i + 1 < value.size() ? value[i + 1] : '\0';
        if (value[i] != '\\' || (next != '\\' && next != 'n' && next != 'r')) {
            out.push_back(value[i]);
            continue;
        }
        out.push_back(next == 'n' ? '\n' : next == 'r' ? '\r' : '\\');
        ++i;
    }
    return out;
}

std::optional<uint32_t> decimal(const std::string& text) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const unsigned long long value = std::stoull(text);
    if (value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<uint32_t>(value);
}

std::string folderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

bool writeAll(int fd, const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<size_t>(put);
    }
    return true;
}

// Replaces the file in one step: a reader sees the old settings or the new ones, never a part.
bool writeWhole(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + ".new";
    UniqueFd file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!file) return false;
    const bool written = writeAll(file.get(), bytes) && ::fsync(file.get()) == 0 && ::close(file.release()) == 0;
    if (written && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
}

// The file's lines; a value is the text after the first "=" of a line.
class SettingsFileKey final : public SettingsKey {
public:
    SettingsFileKey(std::string path, std::vector<std::string> lines, SerialPorts& ports)
        : path_(std::move(path)), lines_(std::move(lines)), ports_(ports) {}
    ~SettingsFileKey() override {
        if (!changed_) return;
        std::string bytes;
        for (const std::string& line : lines_) bytes += line + "\n";
        writeWhole(path_, bytes);
    }

    std::optional<uint32_t> readNumber(const std::u16string& name) override {
        const std::optional<std::string> value = valueOf(name);
        if (!value) return std::nullopt;
        if (name != kComValueName) return decimal(*value);
        if (value->empty()) return kNoComPort;
        return ports_.portNumber(*value);
    }

    std::optional<std::u16string> readText(const std::u16string& name, size_t maxBytes) override {
        const std::optional<std::string> value = valueOf(name);
        std::u16string text;
        if (!value || !tryFromUtf8(*value, text) || (text.size() + 1) * 2 > maxBytes) return std::nullopt;
        return text;
    }

    void writeNumber(const std::u16string& name, uint32_t value) override {
        if (name != kComValueName)
            setValue(name, std::to_string(value));
        else
            setValue(name, value == kNoComPort ? std::string() : ports_.portName(value));
    }

    void writeText(const std::u16string& name, const std::u16string& value) override {
        std::string text;
        if (tryToUtf8(value, text)) setValue(name, text);
    }

private:
    // The line holding `name`; lines_.size() when none does.
    size_t lineOf(const std::u16string& name) const {
        std::string key;
        if (!tryToUtf8(name, key)) return lines_.size();
        key += "=";
        for (size_t index = 0; index < lines_.size(); ++index)
            if (lines_[index].compare(0, key.size(), key) == 0) return index;
        return lines_.size();
    }

    std::optional<std::string> valueOf(const std::u16string& name) const {
        const size_t index = lineOf(name);
        if (index == lines_.size()) return std::nullopt;
        return unescaped(lines_[index].substr(lines_[index].find('=') + 1));
    }

    void setValue(const std::u16string& name, const std::string& value) {
        std::string line;
        if (!tryToUtf8(name, line)) return;
        line += "=" + escaped(value);
        const size_t index = lineOf(name);
        if (index == lines_.size())
            lines_.push_back(line);
        else if (lines_[index] == line)
            return;
        else
            lines_[index] = line;
        changed_ = true;
    }

    const std::string path_;
    std::vector<std::string> lines_;
    SerialPorts& ports_;
    bool changed_ = false;
};

}  // namespace

std::unique_ptr<SettingsKey> SettingsFile::openOrCreate(bool& existed) {
    std::ifstream file(path_);
    existed = file.is_open();
    if (!existed && (path_.empty() || !makeFolders(folderOf(path_)))) return nullptr;
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
    }
    return std::make_unique<SettingsFileKey>(path_, std::move(lines), ports_);
}

std::string settingsFilePath(const EnvironmentLookup& environment) {
    const std::string folder = configHome(environment);
    return folder.empty() ? std::string() : folder + "/shuttle/shuttle.conf";
}

}  // namespace shuttle
