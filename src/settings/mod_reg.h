#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace orvane {

// A per-user store of text values addressed by full value paths such as
// "HKEY_CURRENT_USER\Software\Orvane\PlayOrder".
class Registry {
public:
    virtual ~Registry() = default;
    // Stores value as text, creating any missing key on the path. May throw.
    virtual void write(const std::string& valuePath, const std::string& value) = 0;
    // The stored text, or nothing when the value or its key is missing. May throw.
    virtual std::optional<std::string> read(const std::string& valuePath) = 0;
};

// Makes one registry object per call; may return null or throw when no
// registry can be reached.
using RegistryFactory = std::function<std::unique_ptr<Registry>()>;

// modReg: the only way to the stored settings. The program makes one for the
// platform's store and hands it to each window that reads or writes a value.
// Both procedures suppress every error: a failed write leaves the previous
// value in place, a failed read gives empty text. Each call makes and
// releases its own registry object.
class SettingsProvider {
public:
    explicit SettingsProvider(RegistryFactory factory) : factory_(std::move(factory)) {}

    void WriteRegValue(const std::string& path, const std::string& value);
    std::string ReadRegValue(const std::string& path);

private:
    std::unique_ptr<Registry> makeRegistry();

    RegistryFactory factory_;
};

} // namespace orvane
